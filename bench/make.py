#!/usr/bin/env python3
"""slb make of a 10 MB ASCII DXF drawing (goal: under a second), and slb dump
then slb make of a 100 MB slide.

The drawing is written here, without ezdxf: a block of lines, arcs and a
bulged polyline inserted in an array, and LINE, CIRCLE, ARC and LWPOLYLINE
entities over and over until the file passes 10 MB."""
import math

import benchlib

benchlib.ensure_built()
folder = benchlib.fresh_folder("make")
slb = str(benchlib.BIN / "slb")


def groups(*pairs):
    return "".join(f"{code}\n{value}\n" for code, value in pairs)


block = groups((0, "BLOCK"), (2, "CELL"), (10, 0), (20, 0)) + groups(
    (0, "LINE"), (8, "0"), (10, 0), (20, 0), (11, 5), (21, 5)) + groups(
    (0, "ARC"), (8, "0"), (10, 2), (20, 2), (40, 2), (50, 0), (51, 270)) + groups((0, "ENDBLK"))
entities = []
size = 0
k = 0
while size < 10_000_000:
    x, y = (k % 1000) * 10.0, (k // 1000) * 10.0
    entity = (groups((0, "LINE"), (8, "0"), (62, k % 255 + 1), (10, x), (20, y), (11, x + 7.5),
                     (21, y + 3.25))
              + groups((0, "CIRCLE"), (8, "0"), (10, x + 5), (20, y + 5), (40, 2.5 + k % 3))
              + groups((0, "ARC"), (8, "0"), (10, x), (20, y), (40, 4), (50, k % 360),
                       (51, (k * 7) % 360))
              + groups((0, "LWPOLYLINE"), (8, "0"), (90, 3), (70, 1), (10, x), (20, y),
                       (42, 0.5), (10, x + 3), (20, y), (10, x + 3), (20, y + 3)))
    entities.append(entity)
    size += len(entity)
    k += 1
entities.append(groups((0, "INSERT"), (2, "CELL"), (10, -100), (20, -100), (70, 100), (71, 100),
                       (44, 8), (45, 8)))
text = (groups((0, "SECTION"), (2, "BLOCKS")) + block + groups((0, "ENDSEC"))
        + groups((0, "SECTION"), (2, "ENTITIES")) + "".join(entities)
        + groups((0, "ENDSEC"), (0, "EOF")))
(folder / "big.dxf").write_text(text)
seconds, rss = benchlib.best([slb, "make", "big.dxf", "-o", "big.sld"], folder, repeat=3)
made = (folder / "big.sld").stat().st_size
print(f"slb make big.dxf ({len(text) / 1e6:.1f} MB, {k:,} x 4 entities and a 100 x 100 "
      f"array): {seconds:.3f} s (goal: under 1 s), a {made:,}-byte slide, peak RSS {rss:.1f} MiB")

# A slide of 100 MB: the records of every new-format, little-endian sample
# under one header, then as text and back.
samples = sorted(p for p in (benchlib.ROOT / "tests" / "data" / "slides").iterdir()
                 if p.suffix.lower() == ".sld")
records = b"".join(p.read_bytes()[31:-2] for p in samples
                   if p.read_bytes()[18] == 2 and p.read_bytes()[29:31] == b"\x34\x12")
header = (benchlib.ROOT / "tests" / "data" / "slides" / "velisp__slide_kss.sld").read_bytes()[:31]
(folder / "big100.sld").write_bytes(header + records * (100_000_000 // len(records) + 1) + b"\0\xfc")
seconds, rss = benchlib.best([slb, "dump", "big100.sld", "-o", "big100.txt"], folder, repeat=1)
print(f"slb dump of a 100 MB slide: {seconds:.2f} s, peak RSS {rss:.1f} MiB")
seconds, rss = benchlib.best([slb, "make", "big100.txt", "-o", "again.sld"], folder, repeat=1)
same = (folder / "again.sld").read_bytes() == (folder / "big100.sld").read_bytes()
print(f"slb make of its text ({(folder / 'big100.txt').stat().st_size / 1e6:.0f} MB): "
      f"{seconds:.2f} s, peak RSS {rss:.1f} MiB, {'the same bytes' if same else 'OTHER BYTES'}")
