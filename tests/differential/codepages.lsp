; Conversions as Windows makes them under 950 and 936: look-alikes,
; characters beyond 16 bits (two '?'), box drawing (two Big5 codes each:
; Windows writes F9F9 F9E9 F9EB F9EA) in texts, slide names and files.
(print (list ($addbl "é" 2) ($addbl "🙂𠀋" 6) ($addbl "═╞╡╪" 10)))
(Copyfile "cross.sld" "═╞╡╪.sld")
(Slbedit "a" "boxes" "═╞╡╪")
(Slbedit "l" "boxes")
(setq f (open "boxes.txt" "w")) (write-line "═╞╡╪" f) (close f)
(setq f (open "boxes.txt" "r")) (print (read-line f)) (close f)
(terpri)
