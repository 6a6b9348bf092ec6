#!/usr/bin/env python3
"""zchost over many module calls and long input: 300,000 calls in a loop and
the same calls written out as a 300,000-line script (peak memory, time), and
one form of 20,000 lines piped in (time; reading it must stay linear)."""
import subprocess
import time

import benchlib

benchlib.ensure_built()
folder = benchlib.fresh_folder("calls")
(folder / "loop.lsp").write_text('(repeat 300000 ($rtd 1.0) (Delfile "nothing"))\n')
(folder / "lines.lsp").write_text('($rtd 1.0) (Delfile "nothing")\n' * 300000)
zchost = str(benchlib.ZCHOST)
for script in ("loop.lsp", "lines.lsp"):
    seconds, rss = benchlib.best([zchost, script], folder, repeat=1)
    print(f"300,000 calls, {script:<10} {seconds:6.2f} s  peak RSS {rss:6.1f} MiB (goal: a few MiB)")
form = "(princ (+\n" + "1\n" * 20000 + "))\n"
start = time.perf_counter()
out = subprocess.run([zchost, "-"], input=form.encode(), capture_output=True).stdout
elapsed = time.perf_counter() - start
print(f"a 20,000-line form on standard input: {elapsed * 1000:8.1f} ms, printed {out.decode()}")
