#!/usr/bin/env python3
"""zchost's LISP against python3 on three tasks users' scripts do: a
1,000,000-iteration while loop, a 100,000-character string built with strcat
one character at a time, and a 10 MB file read line by line. Prints each
time and the ratio (goal: 1.5 or less)."""
import benchlib

benchlib.ensure_built()
folder = benchlib.fresh_folder("lisp")
with open(folder / "data.txt", "w") as f:
    line = "x" * 99 + "\n"
    f.write(line * 100000)

tasks = [
    ("while loop, 1,000,000 iterations",
     "(setq i 0 s 0) (while (< i 1000000) (setq s (+ s i) i (1+ i)))",
     "i = 0\ns = 0\nwhile i < 1000000:\n    s = s + i\n    i = i + 1\n"),
    ("strcat to 100,000 characters",
     '(setq s "") (repeat 100000 (setq s (strcat s "a")))',
     's = ""\nfor _ in range(100000):\n    s = s + "a"\n'),
    ("read-line over 10 MB",
     '(setq f (open "data.txt" "r") n 0) (while (read-line f) (setq n (1+ n))) (close f)',
     'n = 0\nwith open("data.txt") as f:\n    while f.readline():\n        n += 1\n'),
]
for name, lisp, python in tasks:
    (folder / "task.lsp").write_text(lisp + "\n")
    (folder / "task.py").write_text(python)
    ours, _ = benchlib.best([str(benchlib.ZCHOST), "-l", "calden", "task.lsp"], folder)
    theirs, _ = benchlib.best(["python3", "task.py"], folder)
    print(f"{name:<36} zchost {ours * 1000:7.1f} ms  python3 {theirs * 1000:7.1f} ms  "
          f"ratio {ours / theirs:4.2f} (goal: 1.5 or less)")
