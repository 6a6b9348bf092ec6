;;; A tour of the twelve functions of vetrix and calden, written as a user's
;;; batch script: a function, a loop over the slides of a folder, a table
;;; updated from a list, results checked.
;;; Run in a folder holding the samples of make_samples.py (scripts/demo.sh
;;; makes them in build/demo; installed, both files are in
;;; /usr/share/doc/vetrix-calden/examples/).

;; Without the samples every call below would only fail: say what to do.
(if (not (findfile "parts.dbf"))
  (progn
    (alert (strcat "demo.lsp: no samples in this folder; make them first:\n"
                   "  python3 make_samples.py FOLDER   (the make_samples.py beside demo.lsp)\n"
                   "then run demo.lsp in FOLDER."))
    (exit 1)))

;| show: prints a label and the value of a call, as the command line would.
   Returns the value. |;
(defun show (label value)
  (princ (strcat "\n  " label " => "))
  (prin1 value)
  value)

(princ "==== calden: angles and blanks (code page 950)")
(show "($rtd 0.5235987755982988)" ($rtd 0.5235987755982988))
(show "($dtr 180)" ($dtr 180))
(show "($npi 2)" ($npi 2))
(foreach text '("abc" "中文")
  (show (strcat "($addbl \"" text "\" 6)") ($addbl text 6)))
(show "($delbl \"  a b  \")" ($delbl "  a b  "))

(princ "\n\n==== calden: language choice by $acad_code")
(foreach code '("CHINESE" "ENGLISH")
  (setq $acad_code code)
  (show (strcat "$acad_code " code ": ($eorc \"圖層\" \"Layer\")") ($eorc "圖層" "Layer")))

(princ "\n\n==== vetrix: files")
(Copyfile "parts.dbf" "parts-copy.dbf")
(Delfile "parts-copy.dbf")
(Dirfile "*.sld")
(princ "\n  (Dirfile \"*.sld\") wrote dirfile:")
(setq listing (open "dirfile" "r"))
(while (setq line (read-line listing))
  (princ (strcat "\n    " line)))
(close listing)

(princ "\n\n==== vetrix: every slide of the folder into a new library")
(setq slides '("cross" "square" "star"))
(foreach name slides
  (Slbedit "a" "icons" name))
(princ (strcat "\n  added " (itoa (length slides)) " slides; the library lists:"))
(Slbedit "l" "icons")
(Slbedit "d" "icons" "square")
(princ "\n  after deleting square:")
(Slbedit "l" "icons")

(princ "\n\n==== vetrix: a dBASE table updated from a list")
(setq parts '(("A200" "FLAT WASHER 8MM" "BAG")
              ("C300" "螺帽" "個")))
(foreach part parts
  (apply 'Write_Dbf (cons "parts.dbf" part)))
(foreach key '("a200" "C300" "Z999")
  (setq found (Read_Dbf "parts" key))
  (princ (if found (strcat "  => " found) "  => (none)")))
(terpri)
