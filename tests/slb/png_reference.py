#!/usr/bin/env python3
"""slb's PNG pictures against reference pictures drawn by the Linux build.

check SLB DATA REFERENCES [EMULATOR...]: draws each slide of the table below
with `slb png` (run through EMULATOR, e.g. Wine, when given) and compares
the picture with its reference: the same size, and every pixel that differs
has a pixel of its colour in the other picture within one pixel.

write SLB DATA REFERENCES: draws the references anew.
"""
import struct
import subprocess
import sys
import zlib
from pathlib import Path

# Slide, its options, and the reference's file name: lines and fills in
# several colours on each background.
CASES = [
    ("mnas__LOPATKA.sld", ["--width", "240"], "lopatka-black.png"),
    ("mnas__D_OTV.sld", ["--width", "200", "--background", "white"], "d_otv-white.png"),
    ("velisp__slide_kz.sld", ["--size", "160", "--background", "transparent"],
     "slide_kz-transparent.png"),
]


def draw(command, data, slide, options):
    proc = subprocess.run(command + ["png", slide] + options + ["-o", "-"], cwd=data,
                          capture_output=True)
    if b"PNG is not available" in proc.stderr:
        print("skipped: this build draws no PNG")
        sys.exit(77)
    if proc.returncode != 0:
        sys.exit(f"slb png {slide} failed ({proc.returncode}): "
                 f"{proc.stderr.decode(errors='replace')}")
    return proc.stdout


def decode(png):
    """(width, height, rows of (r, g, b, a) tuples) of an 8-bit RGB, RGBA or palette PNG."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat, header, palette, alpha = 8, b"", None, b"", b""
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        body = png[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            alpha = body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 3, 6) and interlace == 0, header
    channels = {2: 3, 3: 1, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        previous = line
        if colour == 3:
            pixels = [tuple(palette[3 * i:3 * i + 3]) + ((alpha[i] if i < len(alpha) else 255),)
                      for i in line]
        else:
            pixels = [tuple(line[x * channels:(x + 1) * channels]) for x in range(width)]
        rows.append([p + (255,) if channels == 3 else p for p in pixels])
    return width, height, rows


def strays(a, b):
    """Pixels of `a` with no pixel of their colour in `b` within one pixel."""
    width, height, rows_a = a
    rows_b = b[2]
    count = 0
    for y in range(height):
        for x in range(width):
            pixel = rows_a[y][x]
            if pixel == rows_b[y][x]:
                continue
            if not any(rows_b[v][u] == pixel
                       for v in range(max(0, y - 1), min(height, y + 2))
                       for u in range(max(0, x - 1), min(width, x + 2))):
                count += 1
    return count


def main(mode, slb, data, references, *emulator):
    command = list(emulator) + [slb]
    references = Path(references)
    failures = 0
    for slide, options, name in CASES:
        png = draw(command, data, slide, options)
        if mode == "write":
            references.joinpath(name).write_bytes(png)
            continue
        ours, theirs = decode(png), decode(references.joinpath(name).read_bytes())
        if ours[:2] != theirs[:2]:
            ok, said = False, f"{ours[0]}x{ours[1]}, the reference {theirs[0]}x{theirs[1]}"
        else:
            only_ours, only_theirs = strays(ours, theirs), strays(theirs, ours)
            ok = only_ours == 0 and only_theirs == 0
            said = f"{only_ours} pixels only ours, {only_theirs} only the reference's"
        print(f"{'ok  ' if ok else 'FAIL'} {slide} {' '.join(options)}: {said}")
        failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
