; Dirfile over a tree: the order of names, folders, patterns.
(Dirfile "*.txt") (Copyfile "dirfile" "listing-txt")
(Dirfile "*.*") (Copyfile "dirfile" "listing-all")
(Dirfile "sub2\\*.TXT") (Copyfile "dirfile" "listing-sub2")
(Dirfile "圖檔/*.txt") (Copyfile "dirfile" "listing-chinese")
(Dirfile "b.txt") (Copyfile "dirfile" "listing-one")
(Dirfile "*.nothing")
(terpri)
