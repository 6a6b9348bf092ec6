; A character the code page has no form for: the platforms substitute
; differently (see the README's table).
(print ($addbl "é" 2))
