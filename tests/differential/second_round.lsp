; Points where Linux used to answer otherwise than Windows: ".." through a
; folder that is not there, 32-bit integers for calden, bare CR lines, a
; folder given to load, a byte-order mark before the first line.
(Copyfile "b.txt" "nowhere\\..\\copied.txt")
(print (findfile "nowhere\\..\\copied.txt"))
(print (list ($dtr 40000) ($npi 2147483647) (strlen ($addbl "中文" 40000))))
(setq f (open "cr.txt" "w")) (princ "one\rtwo\r\nthree" f) (close f)
(setq f (open "cr.txt" "r"))
(print (list (read-line f) (read-line f) (read-line f) (read-line f)))
(close f)
(setq f (open "bom.txt" "w" "utf8-bom")) (write-line "甲" f) (close f)
(setq f (open "bom.txt" "r")) (print (read-line f)) (close f)
(print (load "sub" "not loaded"))
(princ "\n")
