#!/usr/bin/env python3
"""Slbedit on a library of 250 slides of 200 KB: list, append, replace and
delete, each beside cp of the library followed by sync of the copy (the floor
at equal durability)."""
import shutil
import struct
import sys

import benchlib

sys.path.insert(0, str(benchlib.ROOT / "examples"))
import make_samples  # noqa: E402

benchlib.ensure_built()
folder = benchlib.fresh_folder("slides")
slides = []
for i in range(250):
    body = bytes((i + k) % 251 for k in range(200 * 1024 - 33))
    slides.append((f"S{i:03d}", b"AutoCAD Slide\r\n\x1a\x00" + body + b"\x00" * 14 + b"\x00\xfc"))
library = make_samples.library(slides[:249])
(folder / "master.slb").write_bytes(library)
(folder / "s000.sld").write_bytes(slides[5][1])     # replaces S000
(folder / "new.sld").write_bytes(slides[249][1])    # appended as NEW
full = make_samples.library(slides)
(folder / "full.slb").write_bytes(full)
size = len(library)
del slides, library, full  # a smaller benchmark process forks faster


def restore(name="master.slb"):
    shutil.copyfile(folder / name, folder / "lib.slb")


floor, _ = benchlib.best("cp lib.slb copy.slb && sync copy.slb", folder, setup=restore,
                         shell=True)
print(f"library: {size / 1e6:.1f} MB, 249 slides")
results = []
ours, rss = benchlib.best(benchlib.zchost('(Slbedit "l" "lib")'), folder, setup=restore)
print(f"{'list':<34} {ours * 1000:9.2f} ms  (goal < 10 ms)  peak RSS {rss:6.1f} MiB")
for label, expr, setup in [
        ("add (append) vs cp+sync", '(Slbedit "a" "lib" "new")', restore),
        ("replace vs cp+sync", '(Slbedit "a" "lib" "s000")', restore),
        ("delete vs cp+sync", '(Slbedit "d" "lib" "S100")', lambda: restore("full.slb"))]:
    ours, rss = benchlib.best(benchlib.zchost(expr), folder, setup=setup)
    benchlib.report(label, ours, floor, 2, rss)
