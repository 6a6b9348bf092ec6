#!/usr/bin/env python3
"""zchost over many module calls and long input: 300,000 calls in a loop and
the same calls written out as a 300,000-line script (peak memory, time), and
one form of 20,000 lines piped in (time; reading it must stay linear).

The calls are ($rtd 1.0) and (Delfile "nothing"): a delete of a name that
is not there, which is looked up ignoring case in the folder. The peer is
python3 making the same 300,000 failing deletes (os.unlink), for
information: no goal but the peak RSS. Each run is checked: every Delfile
call must have printed its failure."""
import os
import subprocess
import time

import benchlib

CALLS = 300_000
benchlib.ensure_packages("time")
benchlib.ensure_built()
folder = benchlib.fresh_folder("calls")
(folder / "loop.lsp").write_text(f'(repeat {CALLS} ($rtd 1.0) (Delfile "nothing"))\n')
(folder / "lines.lsp").write_text('($rtd 1.0) (Delfile "nothing")\n' * CALLS)
(folder / "peer.py").write_text(
    "import os\n"
    f"for _ in range({CALLS}):\n"
    "    try:\n"
    "        os.unlink('nothing')\n"
    "    except FileNotFoundError:\n"
    "        pass\n")
zchost = str(benchlib.ZCHOST)
peer, _ = benchlib.best(["python3", "peer.py"], folder, repeat=1)
for script in ("loop.lsp", "lines.lsp"):
    seconds, rss = benchlib.best([zchost, script], folder, repeat=1)
    out = benchlib.capture([zchost, script], folder)
    benchlib.expect(out.count(b"\nDELETE FAIL") == CALLS,
                    f"{script}: {out.count(b'DELETE FAIL')} failures printed, not {CALLS}")
    benchlib.row(f"{CALLS:,} calls, {script}", seconds, peer, "python3 unlink", None, rss, 16)
form = "(princ (+\n" + "1\n" * 20000 + "))\n"
start = time.perf_counter()
out = subprocess.run([zchost, "-"], input=form.encode(), capture_output=True).stdout
elapsed = time.perf_counter() - start
benchlib.expect(out.strip().endswith(b"20000"), f"the 20,000-line form printed {out[-40:]!r}")
print(f"a 20,000-line form on standard input: {elapsed * 1000:8.1f} ms, printed {out.decode()}")
benchlib.summary()
