; Patterns match long names only (never a short name: "*.dwg" is no pattern
; for "plan.dwg1"), and letters fold beyond ASCII (Ａ and ａ) on both.
(foreach name '("a.dwg" "old.dwgx" "plan.dwg1" "ａｂｃ.dwg" "Ｂ.DWG")
  (Copyfile "b.txt" name))
(Dirfile "*.dwg") (Copyfile "dirfile" "listing-dwg")
(Dirfile "*.DWG") (Copyfile "dirfile" "listing-DWG")
(Dirfile "*.dw?") (Copyfile "dirfile" "listing-dw")
(Dirfile "Ａ*.dwg") (Copyfile "dirfile" "listing-fullwidth")
(Dirfile "ｂ.dwg") (Copyfile "dirfile" "listing-one")
(terpri)
