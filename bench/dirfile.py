#!/usr/bin/env python3
"""Dirfile of *.dwg over 100,000 files in 1,000 folders, beside find printing
the same columns."""
import benchlib

benchlib.ensure_built()
tree = benchlib.fresh_folder("dirfile")
for d in range(1000):
    folder = tree / f"d{d // 100:02d}" / f"f{d:04d}"
    folder.mkdir(parents=True)
    for f in range(100):
        name = f"part{f:03d}.dwg" if f % 4 else f"note{f:03d}.txt"
        (folder / name).write_bytes(b"x" * (f * 7))

ours, rss = benchlib.best(benchlib.zchost('(Dirfile "*.dwg")'), tree, repeat=3)
floor, _ = benchlib.best("find . -name '*.dwg' -printf '%12f %10s %h\\n' > find.out", tree,
                         repeat=3, shell=True)
lines = sum(1 for _ in open(tree / "dirfile", "rb"))
print(f"Dirfile listed {lines} files")
benchlib.report("Dirfile *.dwg vs find", ours, floor, 2, rss)
