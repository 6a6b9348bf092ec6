#!/usr/bin/env python3
"""zchost's LISP against python3 and Lua 5.4 (Debian's lua5.4, installed when
missing; left out, saying so, when it cannot be had) on what users' scripts
do: calls, lists, loops, strings, numbers and files. Each task is the same
work in the three languages, written as each is usually written; each
program prints its result, which must be the expected one, or the benchmark
fails. Each row prints the least processor time of five runs (user and
system) and the peak RSS of each program, the ratios of zchost's time to python3's and to Lua's, and the
goals."""
import os
import shutil

import benchlib

benchlib.ensure_packages("python3", "time")
try:
    benchlib.ensure_packages("lua5.4")
except Exception as error:  # no network, no package: the rest still runs
    print(f"lua5.4 could not be installed ({error})", flush=True)
# Debian's python3, not a version manager's shim (a shell script that
# would add its own start to every run).
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"
LUA = shutil.which("lua5.4")
if not LUA:
    print("lua5.4 is not available: its columns are left out", flush=True)
benchlib.ensure_built()
folder = benchlib.fresh_folder("lisp")
with open(folder / "data.txt", "w") as f:
    f.write(("x" * 99 + "\n") * 100000)

# name, LISP, python3, Lua, the expected output of each (LISP integers are
# 32 bits and wrap), the goal against python3 (None: none set), and whether
# zchost's peak RSS must stay within 1.5 times python3's.
LUA_GOAL = 3.0
tasks = [
    ("startup", "(princ 1)", "print(1)", "print(1)", ("1", "1", "1"), None, False),
    ("fib(30)",
     "(defun fib (n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))\n(princ (fib 30))",
     "def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)\nprint(fib(30))\n",
     "function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "print(fib(30))\n",
     ("832040", "832040", "832040"), 1.5, False),
    ("1,000,000 cons then reverse",
     "(setq l nil i 0)\n(while (< i 1000000) (setq l (cons i l) i (1+ i)))\n"
     "(setq l (reverse l))\n(princ (list (length l) (car l) (last l)))",
     "l = []\ni = 0\nwhile i < 1000000:\n    l.append(i)\n    i = i + 1\nl.reverse()\n"
     "print(len(l), l[-1], l[0])\n",
     "l = {}\ni = 0\nwhile i < 1000000 do l[#l + 1] = i; i = i + 1 end\nlocal n = #l\n"
     "for k = 1, n // 2 do l[k], l[n + 1 - k] = l[n + 1 - k], l[k] end\n"
     "print(#l, l[#l], l[1])\n",
     ("(1000000 0 999999)", "1000000 0 999999", "1000000\t0\t999999"), 1.5, True),
    ("mapcar over 100,000, 10 times",
     "(setq l nil i 0)\n(while (< i 100000) (setq l (cons i l) i (1+ i)))\n(setq s 0)\n"
     "(repeat 10 (setq m (mapcar '(lambda (x) (* x 2)) l)) (setq s (+ s (car m))))\n(princ s)",
     "l = []\ni = 0\nwhile i < 100000:\n    l.append(i)\n    i = i + 1\nl.reverse()\ns = 0\n"
     "for _ in range(10):\n    m = list(map(lambda x: x * 2, l))\n    s = s + m[0]\n"
     "print(s)\n",
     "l = {}\ni = 0\nwhile i < 100000 do l[#l + 1] = i; i = i + 1 end\nlocal n = #l\n"
     "for k = 1, n // 2 do l[k], l[n + 1 - k] = l[n + 1 - k], l[k] end\n"
     "function map(f, t) local r = {} for k = 1, #t do r[k] = f(t[k]) end return r end\n"
     "s = 0\nfor _ = 1, 10 do m = map(function(x) return x * 2 end, l); s = s + m[1] end\n"
     "print(s)\n",
     ("1999980", "1999980", "1999980"), 1.2, False),
    ("assoc in 100 pairs, 100,000 times",
     "(setq al nil i 0)\n(while (< i 100) (setq al (cons (cons i (* i i)) al) i (1+ i)))\n"
     "(setq i 0 s 0)\n"
     "(while (< i 100000) (setq s (+ s (cdr (assoc (rem i 100) al))) i (1+ i)))\n(princ s)",
     "al = [(i, i * i) for i in range(100)]\n"
     "def assoc(key, alist):\n    for pair in alist:\n        if pair[0] == key:\n"
     "            return pair\n    return None\n"
     "i = 0\ns = 0\nwhile i < 100000:\n    s = s + assoc(i % 100, al)[1]\n    i = i + 1\n"
     "print(s)\n",
     "al = {}\nfor i = 0, 99 do al[#al + 1] = {i, i * i} end\n"
     "function assoc(key, alist)\n"
     "  for k = 1, #alist do if alist[k][1] == key then return alist[k] end end\n"
     "  return nil\nend\n"
     "i = 0\ns = 0\nwhile i < 100000 do s = s + assoc(i % 100, al)[2]; i = i + 1 end\n"
     "print(s)\n",
     ("328350000", "328350000", "328350000"), None, False),
    ("split and join of 200,000 tokens",
     "(setq parts nil i 0)\n(while (< i 200000) (setq parts (cons (itoa i) parts) i (1+ i)))\n"
     "(setq s (car parts))\n(foreach p (cdr parts) (setq s (strcat s \",\" p)))\n"
     "(setq toks nil start 0)\n(while (setq at (vl-string-search \",\" s start))\n"
     "  (setq toks (cons (substr s (1+ start) (- at start)) toks) start (1+ at)))\n"
     "(setq toks (cons (substr s (1+ start)) toks))\n(princ (list (length toks) (car toks)))",
     "parts = [str(i) for i in range(200000)]\nparts.reverse()\ns = \",\".join(parts)\n"
     "toks = []\nstart = 0\nwhile True:\n    at = s.find(\",\", start)\n    if at < 0:\n"
     "        break\n    toks.append(s[start:at])\n    start = at + 1\n"
     "toks.append(s[start:])\nprint(len(toks), toks[-1])\n",
     "parts = {}\nfor i = 0, 199999 do parts[#parts + 1] = tostring(i) end\n"
     "local out = {}\nfor k = #parts, 1, -1 do out[#out + 1] = parts[k] end\n"
     "s = table.concat(out, \",\")\ntoks = {}\nstart = 1\nwhile true do\n"
     "  local at = string.find(s, \",\", start, true)\n  if not at then break end\n"
     "  toks[#toks + 1] = string.sub(s, start, at - 1)\n  start = at + 1\nend\n"
     "toks[#toks + 1] = string.sub(s, start)\nprint(#toks, toks[#toks])\n",
     ("(200000 0)", "200000 0", "200000\t0"), 2.0, False),
    ("number formatting, 200,000 reals and integers",
     "(setq i 0 n 0)\n(while (< i 200000)\n"
     "  (setq n (+ n (strlen (rtos (* i 0.25) 2 4)) (strlen (itoa i))) i (1+ i)))\n(princ n)",
     "i = 0\nn = 0\nwhile i < 200000:\n    n = n + len(\"%.4f\" % (i * 0.25)) + len(str(i))\n"
     "    i = i + 1\nprint(n)\n",
     "i = 0\nn = 0\nwhile i < 200000 do\n"
     "  n = n + #string.format(\"%.4f\", i * 0.25) + #tostring(i)\n  i = i + 1\nend\n"
     "print(n)\n",
     ("3044450", "3044450", "3044450"), 1.2, False),
    ("while loop, 1,000,000 iterations",
     "(setq i 0 s 0) (while (< i 1000000) (setq s (+ s i) i (1+ i))) (princ s)",
     "i = 0\ns = 0\nwhile i < 1000000:\n    s = s + i\n    i = i + 1\nprint(s)\n",
     "i = 0\ns = 0\nwhile i < 1000000 do\n  s = s + i\n  i = i + 1\nend\nprint(s)\n",
     ("1783293664", "499999500000", "499999500000"), 1.2, False),
    ("strcat to 100,000 characters",
     '(setq s "") (repeat 100000 (setq s (strcat s "a"))) (princ (strlen s))',
     's = ""\nfor _ in range(100000):\n    s = s + "a"\nprint(len(s))\n',
     's = ""\nfor _ = 1, 100000 do\n  s = s .. "a"\nend\nprint(#s)\n',
     ("100000", "100000", "100000"), 1.5, False),
    ("read-line over 10 MB",
     '(setq f (open "data.txt" "r") n 0) (while (read-line f) (setq n (1+ n))) (close f)'
     " (princ n)",
     'n = 0\nwith open("data.txt") as f:\n    while f.readline():\n        n += 1\nprint(n)\n',
     'n = 0\nf = io.open("data.txt", "r")\nwhile f:read("l") do\n  n = n + 1\nend\n'
     'f:close()\nprint(n)\n',
     ("100000", "100000", "100000"), 1.0, False),
]


def verdict(ratio, goal):
    return f"{ratio:5.2f} (goal <= {goal}{'' if ratio <= goal else ', over'})"


lua_startup = None
missed = []
for name, lisp, python, lua, expected, py_goal, rss_goal in tasks:
    (folder / "task.lsp").write_text(lisp + "\n")
    (folder / "task.py").write_text(python)
    (folder / "task.lua").write_text(lua)
    ours, ours_rss = benchlib.checked([str(benchlib.ZCHOST), "task.lsp"], folder, expected[0])
    py, py_rss = benchlib.checked([PYTHON, "task.py"], folder, expected[1])
    line = (f"{name:<46} zchost {ours * 1000:7.1f} ms CPU {ours_rss:6.1f} MiB | "
            f"python3 {py * 1000:7.1f} ms {py_rss:6.1f} MiB ratio ")
    if py_goal is None:
        line += f"{ours / py:5.2f}"
    else:
        line += verdict(ours / py, py_goal)
        if ours / py > py_goal:
            missed.append(f"{name}: {ours / py:.2f} times python3")
    if rss_goal:
        line += f" RSS ratio {verdict(ours_rss / py_rss, 1.5)}"
        if ours_rss / py_rss > 1.5:
            missed.append(f"{name}: {ours_rss / py_rss:.2f} times python3's memory")
    if LUA:
        lu, lu_rss = benchlib.checked([LUA, "task.lua"], folder, expected[2])
        goal = 1.5 if name == "startup" else LUA_GOAL
        line += (f" | lua5.4 {lu * 1000:7.1f} ms {lu_rss:6.1f} MiB ratio "
                 f"{verdict(ours / lu, goal)}")
        if ours / lu > goal:
            missed.append(f"{name}: {ours / lu:.2f} times lua5.4")
    print(line, flush=True)
if missed:
    print("goals not met: " + "; ".join(missed))
