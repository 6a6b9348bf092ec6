#!/usr/bin/env python3
"""slb sheet of a 250-slide library (the sample slides over and over): the
time of the whole process (goal: well under a second) and its peak memory."""
import struct

import benchlib

benchlib.ensure_built()
folder = benchlib.fresh_folder("slb")
samples = sorted(p for p in (benchlib.ROOT / "tests" / "data" / "slides").iterdir()
                 if p.suffix.lower() == ".sld")
slides = [(f"S{i:03d}", samples[i % len(samples)].read_bytes()) for i in range(250)]
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
print(f"slb sheet of 250 slides ({len(library + b''.join(d for _, d in slides)) / 1e6:.1f} MB library)"
      f": {seconds * 1000:.1f} ms (goal: well under 1000 ms), {size:.1f} MB page, "
      f"peak RSS {rss:.1f} MiB")
