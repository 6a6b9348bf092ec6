; Case as Windows maps it: strcase leaves µ ς ǅ ı İ, and names are found
; ignoring case by the same tables (Μ is not µ's capital there; Ａ is ａ's).
(print (list (strcase "µςǅıİ") (strcase "ΜΣǄIİ" T) (strcase "ａｂｃäÿ")))
(Copyfile "b.txt" "5µm.txt")
(Delfile "5ΜM.TXT")
(print (if (findfile "5µm.txt") "kept" "deleted"))
(Copyfile "b.txt" "ａｂｃ.txt")
(Delfile "ＡＢＣ.TXT")
(print (if (findfile "ａｂｃ.txt") "kept" "deleted"))
(terpri)
