#!/usr/bin/env python3
"""Slbedit on libraries of 10, 100, 1,000 and 10,000 real vector slides (the
sample slides of tests/data/slides, over and over under new names): list,
add (append), replace and delete, each beside cp of the library followed by
sync of the copy (the peer at equal durability: Slbedit's new library is on
the disk when it reports success).

The libraries are laid out here, by the format: a 32-byte header, 36-byte
entries (name, offset), a terminator of 36 zero bytes, then the slides back
to back. Each row checks what the call did: the message it printed and the
library it left (its size, and for list the names it printed).

Goals: 1.15 times cp+sync or less for add, replace and delete at every
size. list has no peer doing the same (it reads only the directory); its
row compares it with cat of the library, for information."""
import shutil
import struct

import benchlib

benchlib.ensure_packages("time")
benchlib.ensure_built()
folder = benchlib.fresh_folder("slides")
samples = sorted(p for p in (benchlib.ROOT / "tests" / "data" / "slides").iterdir()
                 if p.suffix.lower() == ".sld")
slides = [p.read_bytes() for p in samples]
# A slide to add, and one to put in place of another: real ones too.
(folder / "new.sld").write_bytes(slides[0])
(folder / "s000002.sld").write_bytes(slides[-1])


def library(count):
    """(bytes, names) of a library of `count` slides."""
    names = [f"S{i:06d}" for i in range(count)]
    data = [slides[i % len(slides)] for i in range(count)]
    offset = 32 + 36 * (count + 1)
    directory = bytearray()
    for name, d in zip(names, data):
        directory += name.encode().ljust(32, b"\0") + struct.pack("<i", offset)
        offset += len(d)
    head = b"AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0" + bytes(directory) + b"\0" * 36
    return head + b"".join(data), names


def restore():
    shutil.copyfile(folder / "master.slb", folder / "lib.slb")


for count in (10, 100, 1000, 10000):
    bytes_, names = library(count)
    (folder / "master.slb").write_bytes(bytes_)
    size = len(bytes_)
    repeat = 5 if count < 10000 else 3
    peer, _ = benchlib.best("cp lib.slb copy.slb && sync copy.slb", folder, repeat=repeat,
                            setup=restore, shell=True)
    cat, _ = benchlib.best("cat lib.slb > /dev/null", folder, repeat=repeat, setup=restore,
                           shell=True)
    tag = f"{count:,} slides ({size / 1e6:.1f} MB)"

    expr = '(Slbedit "l" "lib")'
    ours, rss = benchlib.best(benchlib.zchost(expr), folder, repeat=repeat, setup=restore)
    restore()
    out = benchlib.capture(benchlib.zchost(expr), folder)
    benchlib.expect(out.split()[-1] == names[-1].encode() and out.count(b"S0") == count,
                    f"list of {count} slides printed {out[-200:]!r}")
    benchlib.row(f"list, {tag}", ours, cat, "cat", None, rss)

    # Each edit: the expression, the message it must print, and the length
    # of the library it must leave.
    replaced = slides[2 % len(slides)]
    for label, expr, message, length in [
            ("add (append)", '(Slbedit "a" "lib" "new")', b"SLBEDIT ADD SLB SUCCESS",
             size + 36 + len(slides[0])),
            ("replace", '(Slbedit "a" "lib" "s000002")', b"SLBEDIT ADD SLB SUCCESS",
             size - len(replaced) + len(slides[-1])),
            ("delete", f'(Slbedit "d" "lib" "S{count // 2:06d}")', None,
             size - 36 - len(slides[(count // 2) % len(slides)]))]:
        ours, rss = benchlib.best(benchlib.zchost(expr), folder, repeat=repeat, setup=restore)
        restore()
        out = benchlib.capture(benchlib.zchost(expr), folder)
        if message:
            benchlib.expect(message in out, f"{label} on {count} slides printed {out!r}")
        else:
            benchlib.expect(out.strip() == b"", f"{label} on {count} slides printed {out!r}")
        got = (folder / "lib.slb").stat().st_size
        benchlib.expect(got == length,
                        f"{label} on {count} slides left {got} bytes, not {length}")
        benchlib.row(f"{label}, {tag}", ours, peer, "cp+sync", 1.15, rss)
benchlib.summary()
