; A drive letter: the platforms differ (see the README's table).
(Delfile "C:b.txt") (terpri)
