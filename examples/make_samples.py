#!/usr/bin/env python3
"""Writes the demo's sample files into a folder: slides, a slide library made
from them, and a dBASE parts table.

The slides are real AutoCAD slides (new-format header, then vector records);
the table is a dBASE III table with the fields NO1, PNAME and UNIT.
"""
import struct
import sys
from pathlib import Path

LIBRARY_HEADER = b"AutoCAD Slide Library 1.0\r\n\x1a\x00\x00\x00\x00"


def slide(vectors, colour=7, width=319, height=199):
    """A new-format slide: 31-byte header, a colour record, vectors, end."""
    header = b"AutoCAD Slide\r\n\x1a\x00" + bytes([0x56, 2])
    header += struct.pack("<HHIHH", width, height, 14647307, 2, 0x1234)
    body = struct.pack("<H", 0xFF00 | colour)
    for x1, y1, x2, y2 in vectors:
        body += struct.pack("<HHHH", x1, y1, x2, y2)
    return header + body + b"\x00\xfc"


def polygon(points):
    return [(*points[i], *points[(i + 1) % len(points)]) for i in range(len(points))]


def library(slides):
    """A slide library of (name, bytes) pairs in directory order."""
    offset = 32 + 36 * (len(slides) + 1)
    directory = b""
    for name, data in slides:
        directory += name.encode("ascii").ljust(32, b"\0") + struct.pack("<i", offset)
        offset += len(data)
    return LIBRARY_HEADER + directory + b"\0" * 36 + b"".join(d for _, d in slides)


def dbf(fields, records):
    """A dBASE III table; fields are (name, width) character fields."""
    header_length = 32 + 32 * len(fields) + 1
    record_length = 1 + sum(w for _, w in fields)
    out = struct.pack("<BBBBIHH20x", 3, 126, 12, 8, len(records), header_length, record_length)
    for name, width in fields:
        out += name.encode("ascii").ljust(11, b"\0") + b"C" + b"\0" * 4
        out += bytes([width, 0]) + b"\0" * 14
    out += b"\r"
    for values in records:
        out += b" " + b"".join(v.ljust(w)[:w] for v, (_, w) in zip(values, fields))
    return out + b"\x1a"


def main(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    square = slide(polygon([(60, 40), (260, 40), (260, 160), (60, 160)]), colour=1)
    triangle = slide(polygon([(60, 40), (260, 40), (160, 170)]), colour=3)
    cross = slide([(60, 40, 260, 160), (60, 160, 260, 40)], colour=5)
    star = slide(polygon([(160, 180), (100, 20), (250, 120), (70, 120), (220, 20)]), colour=2)
    (folder / "cross.sld").write_bytes(cross)
    (folder / "star.sld").write_bytes(star)
    (folder / "square.sld").write_bytes(slide(polygon([(10, 10), (300, 10), (300, 190),
                                                       (10, 190)]), colour=4))
    (folder / "shapes.slb").write_bytes(library([("SQUARE", square), ("TRIANGLE", triangle)]))
    big5 = lambda text: text.encode("cp950")
    (folder / "parts.dbf").write_bytes(dbf(
        [("NO1", 10), ("PNAME", 40), ("UNIT", 6)],
        [(b"A100", b"HEX BOLT M8", b"PCS"),
         (b"A200", b"WASHER 8MM", b"BOX"),
         (b"B100", big5("螺絲"), big5("支"))]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/data")
