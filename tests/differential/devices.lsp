; Device names (any extension, case or folder) and ':' streams are no files
; on either platform: each function fails as it does for a name it cannot
; use, and nothing vanishes into a device.
(vl-mkdir "backup")
(Copyfile "b.txt" "aux.txt")
(Copyfile "b.txt" "nul")
(Copyfile "b.txt" "backup\\com1.lsp")
(Copyfile "b.txt" "b.txt:hidden")
(Copyfile "CON.dwg" "x.dwg")
(Delfile "Con.log")
(Dirfile "con\\*.txt")
(print (Read_Dbf "aux" "A200"))
(print (Write_Dbf "Lpt3.dbf" "A1" "X" "Y"))
(Copyfile "cross.sld" "lpt1.sld")
(Slbedit "a" "con" "cross")
(Slbedit "a" "shapes" "lpt1")
(print (list (open "prn.txt" "w") (findfile "nul") (vl-file-copy "b.txt" "com9.txt")
             (vl-file-rename "b.txt" "aux") (vl-mkdir "com2") (load "con.lsp" "not loaded")))
(terpri)
