; zchost itself: values, errors and the end of a run.
(print (list 1 2.5 "s" nil T)) (print (strcat "a" "中")) (print (strlen "中文"))
(undefined_fn 1)
(Delfile 1 2)
($rtd '(1 2))
(load "no such file")
(princ "last") (terpri)
(exit 3)
