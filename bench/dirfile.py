#!/usr/bin/env python3
"""Dirfile of *.dwg over trees of files, beside find printing the same
columns (name, size, folder) into a file.

Trees: nested (folders of 100 files, 100 folders to a parent) and flat (one
folder), of 10,000 and 100,000 files; --big adds 1,000,000 of each (their
trees take a minute or two to make, and are kept under build/bench/dirfile
for the next run). Three files in four are *.dwg. Each row checks that the
listing holds exactly the files find found, and that Dirfile reported no
failure.

Goals: 1.2 times find or less at every size, and at most 50 MiB on the flat
folder of 1,000,000 files."""
import collections
import os
import shutil

import benchlib

benchlib.ensure_packages("time", "findutils")
benchlib.ensure_built()
root = benchlib.BUILD / "bench" / "dirfile"
sizes = [10_000, 100_000] + ([1_000_000] if benchlib.big_sizes() else [])


def make_tree(kind, count):
    """The tree, made once: a marker file says it is complete."""
    tree = root / f"{kind}-{count}"
    if (tree / ".complete").exists():
        return tree
    shutil.rmtree(tree, ignore_errors=True)
    tree.mkdir(parents=True)
    for i in range(count):
        if kind == "flat":
            folder = tree
        else:
            folder = tree / f"d{i // 10000:03d}" / f"f{i // 100:05d}"
            if i % 100 == 0:
                folder.mkdir(parents=True, exist_ok=True)
        name = f"part{i:07d}.dwg" if i % 4 else f"note{i:07d}.txt"
        with open(folder / name, "wb") as f:
            f.write(b"x" * (i % 97))
    (tree / ".complete").write_bytes(b"")
    return tree


def names_of(lines):
    """The multiset of file names a listing or find's output holds."""
    return collections.Counter(line.split()[0] for line in lines if line.strip())


for kind in ("nested", "flat"):
    for count in sizes:
        tree = make_tree(kind, count)
        repeat = 3 if count < 1_000_000 else 1
        expr = '(Dirfile "*.dwg")'
        ours, rss = benchlib.best(benchlib.zchost(expr), tree, repeat=repeat)
        peer, _ = benchlib.best("find . -name '*.dwg' -printf '%12f %10s %h\\n' > find.out",
                                tree, repeat=repeat, shell=True)
        # The result of what was timed: no failure message, and every file
        # find found listed once.
        out = benchlib.capture(benchlib.zchost(expr), tree)
        benchlib.expect(b"FAIL" not in out, f"Dirfile reported a failure: {out!r}")
        with open(tree / "dirfile", "rb") as f:
            listed = f.read().split(b"\r\n")
        with open(tree / "find.out", "rb") as f:
            found = f.read().split(b"\n")
        benchlib.expect(names_of(listed) == names_of(found) and len(names_of(found)) > 0,
                        f"the listing of {tree} differs from find's")
        goal_rss = 50 if kind == "flat" and count >= 1_000_000 else None
        benchlib.row(f"Dirfile *.dwg, {kind} {count:,} files", ours, peer, "find", 1.2, rss,
                     goal_rss)
        os.remove(tree / "dirfile")
        os.remove(tree / "find.out")
benchlib.summary()
