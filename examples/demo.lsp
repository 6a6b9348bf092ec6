;;; A tour of the twelve functions of vetrix and calden.
;;; Run by scripts/demo.sh in a folder holding the samples of make_samples.py.

(princ "==== calden: angles")
(princ "\n($rtd 0.5235987755982988) => ") (prin1 ($rtd 0.5235987755982988))
(princ "\n($dtr 180)                => ") (prin1 ($dtr 180))
(princ "\n($npi 2)                  => ") (prin1 ($npi 2))

(princ "\n\n==== calden: blanks (code page 950)")
(princ "\n($addbl \"abc\" 6)    => ") (prin1 ($addbl "abc" 6))
(princ "\n($addbl \"中文\" 6)   => ") (prin1 ($addbl "中文" 6))
(princ "\n($delbl \"  a b  \")  => ") (prin1 ($delbl "  a b  "))

(princ "\n\n==== calden: language choice")
(setq $acad_code "CHINESE")
(princ "\n$acad_code \"CHINESE\": ($eorc \"圖層\" \"Layer\") => ") (prin1 ($eorc "圖層" "Layer"))
(setq $acad_code "ENGLISH")
(princ "\n$acad_code \"ENGLISH\": ($eorc \"圖層\" \"Layer\") => ") (prin1 ($eorc "圖層" "Layer"))

(princ "\n\n==== vetrix: files")
(princ "\n(Copyfile \"parts.dbf\" \"parts-copy.dbf\"):") (Copyfile "parts.dbf" "parts-copy.dbf")
(princ "\n(Delfile \"parts-copy.dbf\"):") (Delfile "parts-copy.dbf")
(princ "\n(Dirfile \"*.sld\"): wrote dirfile") (Dirfile "*.sld")

(princ "\n\n==== vetrix: slide library")
(princ "\n(Slbedit \"l\" \"shapes\"):") (Slbedit "l" "shapes")
(princ "\n(Slbedit \"a\" \"shapes\" \"cross\"):") (Slbedit "a" "shapes" "cross")
(princ "\n(Slbedit \"a\" \"shapes\" \"square\"), a replacement:") (Slbedit "a" "shapes" "square")
(princ "\n(Slbedit \"d\" \"shapes\" \"triangle\"):") (Slbedit "d" "shapes" "triangle")
(princ "\n(Slbedit \"l\" \"shapes\"):") (Slbedit "l" "shapes")

(princ "\n\n==== vetrix: dBASE table")
(princ "\n(Read_Dbf \"parts\" \"A200\"):") (setq r (Read_Dbf "parts" "A200"))
(princ "\n  => ") (prin1 r)
(princ "\n(Write_Dbf \"parts.dbf\" \"A200\" \"FLAT WASHER 8MM\" \"BAG\")")
(Write_Dbf "parts.dbf" "A200" "FLAT WASHER 8MM" "BAG")
(princ "\n(Write_Dbf \"parts.dbf\" \"C300\" \"螺帽\" \"個\")")
(Write_Dbf "parts.dbf" "C300" "螺帽" "個")
(princ "\n(Read_Dbf \"parts\" \"a200\"):") (setq r (Read_Dbf "parts" "a200"))
(princ "\n  => ") (prin1 r)
(princ "\n(Read_Dbf \"parts\" \"C300\"):") (setq r (Read_Dbf "parts" "C300"))
(princ "\n  => ") (prin1 r)
(terpri)
