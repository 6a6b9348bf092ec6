#!/usr/bin/env python3
"""slb sheet of a 1,000-slide library (the real public sample slides of
tests/data/slides, see its SOURCES.txt, over and over): the time of the
whole process (goal: under a second), its size (goal: under 10 MB), its
peak memory, and the time headless Chromium takes to open and draw the page
(goal: under 2 s; skipped where there is no Chromium).

slb png --all of that library, 1,000 PNGs of 1,024 pixels written and
synced (goal: under 5 s), beside netpbm's sldtoppm and pnmtopng drawing the
same slides at the same size, one process pair a slide.

slb list of a 10,000-slide library (goal: under 30 ms and 10 MB).

Each row checks what it timed: the pictures are PNGs, one a slide; the
sheet has a cell a slide; the listing a line a slide.

Then the thumbnailer's command, slb png SLIDE --size 256: on a 100 MB slide
(the sample slides' records over and over; goal: under 5 s and 128 MiB), and
on a 33-byte slide whose header claims 32767 by 32767 dots (goal: under
0.1 s)."""
import os
import shutil
import struct
import subprocess
import time

import benchlib

COUNT = 1000
benchlib.ensure_built()
folder = benchlib.fresh_folder("slb")
samples = sorted(p for p in (benchlib.ROOT / "tests" / "data" / "slides").iterdir()
                 if p.suffix.lower() == ".sld")
slides = [(f"S{i:04d}", samples[i % len(samples)].read_bytes()) for i in range(COUNT)]
offset = 32 + 36 * (len(slides) + 1)
directory = b""
for name, data in slides:
    directory += name.encode().ljust(32, b"\0") + struct.pack("<i", offset)
    offset += len(data)
library = b"AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0" + directory + b"\0" * 36
(folder / "big.slb").write_bytes(library + b"".join(d for _, d in slides))
slb = str(benchlib.BIN / "slb")
seconds, rss = benchlib.best([slb, "sheet", "big.slb", "-o", "sheet.html"], folder)
size = (folder / "sheet.html").stat().st_size / 1e6
print(f"slb sheet of {COUNT} slides "
      f"({len(library + b''.join(d for _, d in slides)) / 1e6:.1f} MB library): "
      f"{seconds * 1000:.1f} ms (goal: under 1000 ms), {size:.1f} MB page (goal: under 10 MB), "
      f"peak RSS {rss:.1f} MiB")
seconds, rss = benchlib.best([slb, "png", "big.slb", "--all", "--quiet", "-o", "pictures"], folder,
                             repeat=3, setup=lambda: shutil.rmtree(folder / "pictures",
                                                                   ignore_errors=True))
pictures = sorted((folder / "pictures").iterdir())
assert len(pictures) == COUNT and all(p.read_bytes()[:4] == b"\x89PNG" for p in pictures), \
    "png --all did not write a PNG of every slide"
assert (folder / "sheet.html").read_text().count("<figure") == COUNT, "a cell a slide"
shutil.rmtree(folder / "pictures")
(folder / "one").mkdir()
for name, data in slides:
    (folder / "one" / f"{name}.sld").write_bytes(data)
if shutil.which("sldtoppm") and shutil.which("pnmtopng"):
    peer = ("mkdir -p theirs && for f in one/*.sld; do b=${f#one/}; "
            "sldtoppm -xsize 1024 \"$f\" 2>/dev/null | pnmtopng > \"theirs/${b%.sld}.png\" "
            "2>/dev/null; done")
    theirs, _ = benchlib.best(peer, folder, repeat=1, shell=True)
    print(f"slb png --all of {COUNT} slides: {seconds:.2f} s, sldtoppm | pnmtopng "
          f"{theirs:.2f} s, ratio {seconds / theirs:.2f} (goal: under 5 s), peak RSS {rss:.1f} MiB")
else:
    print(f"slb png --all of {COUNT} slides: {seconds:.2f} s (goal: under 5 s), "
          f"peak RSS {rss:.1f} MiB; netpbm not installed: no peer")

# slb list of 10,000 slides: the directory, then each slide's header.
many = [(f"L{i:05d}", samples[i % len(samples)].read_bytes()) for i in range(10_000)]
offset = 32 + 36 * (len(many) + 1)
directory = b""
for name, data in many:
    directory += name.encode().ljust(32, b"\0") + struct.pack("<i", offset)
    offset += len(data)
(folder / "many.slb").write_bytes(b"AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0" + directory +
                                  b"\0" * 36 + b"".join(d for _, d in many))
listing = subprocess.run([slb, "list", "many.slb"], cwd=folder, capture_output=True, check=True)
assert listing.stdout.count(b"\n") >= len(many), "a line a slide"
seconds, rss = benchlib.best([slb, "list", "many.slb"], folder)
print(f"slb list of {len(many):,} slides: {seconds * 1000:.1f} ms (goal: under 30 ms, 10 MB), "
      f"peak RSS {rss:.1f} MiB")

# The records of every new-format, little-endian sample, under one header.
records = b"".join(p.read_bytes()[31:-2] for p in samples
                   if p.read_bytes()[18] == 2 and p.read_bytes()[29:31] == b"\x34\x12")
header = (benchlib.ROOT / "tests" / "data" / "slides" / "velisp__slide_kss.sld").read_bytes()[:31]
(folder / "big.sld").write_bytes(header + records * (100_000_000 // len(records) + 1) + b"\0\xfc")
claims = b"AutoCAD Slide\r\n\x1a\0\x56\x02" + struct.pack("<HHIHH", 32766, 32766, 10**7, 2, 0x1234)
(folder / "claims.sld").write_bytes(claims + b"\0\xfc")
for name, goal, repeat in (("big.sld", "under 5 s, 128 MiB", 3), ("claims.sld", "under 0.1 s", 5)):
    size = (folder / name).stat().st_size
    seconds, rss = benchlib.best([slb, "png", name, "--size", "256", "-o", "thumb.png"], folder,
                                 repeat=repeat)
    print(f"slb png {name} --size 256 ({size:,} bytes): {seconds:.3f} s (goal: {goal}), "
          f"peak RSS {rss:.1f} MiB")

chromium = "/usr/bin/chromium"
if not os.path.exists(chromium):
    print("Chromium: skipped, /usr/bin/chromium is not installed")
else:
    times = []
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update",
                        f"--user-data-dir={folder / 'profile'}", "--window-size=1400,1200",
                        f"--screenshot={folder / 'shot.png'}", (folder / "sheet.html").as_uri()],
                       capture_output=True, check=True)
        times.append(time.perf_counter() - start)
    print(f"Chromium opens and draws it: {min(times):.2f} s (goal: under 2 s)")
