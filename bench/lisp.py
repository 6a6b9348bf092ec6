#!/usr/bin/env python3
"""zchost's LISP against python3 and Lua 5.4 (Debian's lua5.4, installed when
missing) on three tasks users' scripts do: a 1,000,000-iteration while loop,
a 100,000-character string built with strcat one character at a time, and a
10 MB file read line by line. Prints each time and the ratios to python3
(goal: 1.5 or less) and to Lua. Each program keeps its variables global, as
setq does."""
import benchlib

benchlib.ensure_packages("lua5.4", "python3", "time")
benchlib.ensure_built()
folder = benchlib.fresh_folder("lisp")
with open(folder / "data.txt", "w") as f:
    line = "x" * 99 + "\n"
    f.write(line * 100000)

tasks = [
    ("while loop, 1,000,000 iterations",
     "(setq i 0 s 0) (while (< i 1000000) (setq s (+ s i) i (1+ i)))",
     "i = 0\ns = 0\nwhile i < 1000000:\n    s = s + i\n    i = i + 1\n",
     "i = 0\ns = 0\nwhile i < 1000000 do\n  s = s + i\n  i = i + 1\nend\n"),
    ("strcat to 100,000 characters",
     '(setq s "") (repeat 100000 (setq s (strcat s "a")))',
     's = ""\nfor _ in range(100000):\n    s = s + "a"\n',
     's = ""\nfor _ = 1, 100000 do\n  s = s .. "a"\nend\n'),
    ("read-line over 10 MB",
     '(setq f (open "data.txt" "r") n 0) (while (read-line f) (setq n (1+ n))) (close f)',
     'n = 0\nwith open("data.txt") as f:\n    while f.readline():\n        n += 1\n',
     'n = 0\nf = io.open("data.txt", "r")\nwhile f:read("l") do\n  n = n + 1\nend\n'
     'f:close()\n'),
]
over = []
for name, lisp, python, lua in tasks:
    (folder / "task.lsp").write_text(lisp + "\n")
    (folder / "task.py").write_text(python)
    (folder / "task.lua").write_text(lua)
    ours, _ = benchlib.best([str(benchlib.ZCHOST), "-l", "calden", "task.lsp"], folder)
    py, _ = benchlib.best(["python3", "task.py"], folder)
    lu, _ = benchlib.best(["lua5.4", "task.lua"], folder)
    print(f"{name:<34} zchost {ours * 1000:7.1f} ms  python3 {py * 1000:7.1f} ms  "
          f"lua5.4 {lu * 1000:7.1f} ms  ratio to python3 {ours / py:4.2f} (goal: 1.5 or less)  "
          f"to lua5.4 {ours / lu:4.2f}", flush=True)
    if ours / py > 1.5:
        over.append(name)
if over:
    print("over 1.5 times python3: " + "; ".join(over))
