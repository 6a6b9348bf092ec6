; Private-use (user-defined, EUDC) characters: both code pages give them
; two bytes of their user-defined area, in texts and in slide names.
(print ($addbl "" 3))
(Copyfile "cross.sld" ".sld") (Copyfile "cross.sld" ".sld")
(Slbedit "a" "private" "") (Slbedit "a" "private" "")
(Slbedit "l" "private")
(terpri)
