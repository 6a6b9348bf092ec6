#!/usr/bin/env python3
"""slb's pictures against independent renderers.

compare SLB DATA [--sample N]: every sample slide, and every slide of every
sample library (or N of them, spread over the list, with --sample), drawn by `slb svg` and rasterised by rsvg-convert, and drawn by
`slb png`, at the slide's dot size, against netpbm's sldtoppm: the drawn
pixels must agree, allowing a pixel of line placement (each drawn pixel of
one has a drawn pixel of the other within one pixel).

sheet SLB DATA CHROMIUM: a sheet of a library of all the sample slides, in
headless Chromium: the screenshot shows every slide's cell with a drawing in
it, in library order, its lines as bright as their colour at 240 pixels.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path


def run(argv, **kwargs):
    proc = subprocess.run(argv, capture_output=True, **kwargs)
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed ({proc.returncode}): {proc.stderr.decode(errors='replace')}")
    return proc.stdout


def png_to_ppm(png):
    """A binary PPM of a PNG (pngtopnm writes PBM or PGM for grey pictures)."""
    return run(["ppmtoppm"], input=run(["pngtopnm"], input=png))


def read_ppm(data):
    """(width, height, rows of RGB bytes) of a binary PPM."""
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    width, height = int(match.group(1)), int(match.group(2))
    pixels = data[match.end():]
    return width, height, [pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]


def mask(width, rows, drawn):
    """Each row as an integer, bit x set where the pixel is drawn."""
    out = []
    for row in rows:
        bits = 0
        for x in range(width):
            if drawn(row[3 * x:3 * x + 3]):
                bits |= 1 << x
        out.append(bits)
    return out


def spread(rows, width):
    """Every pixel within one pixel of a drawn one."""
    full = (1 << width) - 1
    wide = [(r | r << 1 | r >> 1) & full for r in rows]
    return [wide[y] | (wide[y - 1] if y > 0 else 0) | (wide[y + 1] if y + 1 < len(wide) else 0)
            for y in range(len(wide))]


def stray(a, b, width):
    """Pixels drawn in `a` with none drawn near them in `b`."""
    near = spread(b, width)
    return sum(bin(x & ~n).count("1") for x, n in zip(a, near))


def edges_slide():
    """A slide whose lines run past every edge of its picture, and one whose
    fill lies partly outside: sldtoppm refuses such coordinates, so slb's
    PNG is held against its SVG (drawn by librsvg, which clips for itself)."""
    header = b"AutoCAD Slide\r\n\x1a\0\x56\x02" + struct.pack("<HHIHH", 199, 149, 13333333, 2,
                                                                 0x1234)
    records = b"\x07\xff"
    for x, y in [(100, 400), (100, -300), (500, 75), (-300, 75), (400, 400), (-250, -200),
                 (350, -90), (-40, 260), (30000, -30000)]:
        records += struct.pack("<hhhh", 100, 75, x, y)
    # A vector's from-X is never negative: its high byte is the record type.
    records += b"\x03\xff" + struct.pack("<hhhh", 700, 20, -500, 10)
    records += b"\x01\xff" + struct.pack("<hhhh", 300, -50, 400, -90)
    vertex = lambda x, y: struct.pack("<Hhh", 0xFD00, x, y)
    records += b"\x05\xff" + vertex(3, -1) + vertex(150, 100) + vertex(260, 120) + \
        vertex(180, 200) + vertex(0, -1)
    return header + records + b"\0\xfc"


def compare(slb, data, sample=None):
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        slides = sorted(p for p in data.iterdir() if p.suffix.lower() == ".sld")
        for library in sorted(data.glob("*.slb")):
            folder = work / library.stem
            folder.mkdir()
            run([slb, "extract", str(library), "--all", "-o", str(folder)])
            slides += sorted(folder.glob("*.sld"))
        if sample:
            slides = slides[::max(1, len(slides) // sample)][:sample]
        failures = 0
        not_black = lambda p: p != b"\0\0\0"
        edges = work / "edges.sld"
        edges.write_bytes(edges_slide())
        # At the slide's dot size, where librsvg draws lines one pixel wide.
        for w, h in [(200, 150)]:
            svg = run([slb, "svg", str(edges)])
            theirs = read_ppm(png_to_ppm(run(
                ["rsvg-convert", "-w", str(w), "-h", str(h)], input=svg)))
            ours = read_ppm(png_to_ppm(run(
                [slb, "png", str(edges), "--width", str(w), "--height", str(h)])))
            a, b = mask(w, ours[2], not_black), mask(w, theirs[2], not_black)
            only_ours, only_theirs = stray(a, b, w), stray(b, a, w)
            ok = only_ours == 0 and only_theirs == 0
            print(f"{'ok  ' if ok else 'FAIL'} edges.sld png against svg {w}x{h}: "
                  f"{only_ours} only ours, {only_theirs} only the SVG's")
            failures += not ok
        for slide in slides:
            svg = run([slb, "svg", str(slide)])
            w, h = map(int, re.search(rb'viewBox="0 0 (\d+) (\d+)"', svg).groups())
            theirs = read_ppm(run(["sldtoppm", str(slide)]))
            b = mask(w, theirs[2], not_black)
            # The SVG rasterised by librsvg, and slb's own PNG, each against
            # sldtoppm at the slide's dot size.
            for kind, png in [
                    ("svg", run(["rsvg-convert", "-w", str(w), "-h", str(h)], input=svg)),
                    ("png", run([slb, "png", str(slide), "--width", str(w), "--height", str(h)]))]:
                ours = read_ppm(png_to_ppm(png))
                assert ours[:2] == theirs[:2] == (w, h), (slide, kind, ours[:2], theirs[:2])
                a = mask(w, ours[2], not_black)
                only_ours, only_theirs = stray(a, b, w), stray(b, a, w)
                drawn = sum(bin(x).count("1") for x in a)
                ok = only_ours == 0 and only_theirs == 0 and drawn > 0 or \
                    (drawn == 0 and not any(b))
                name = f"{slide.parent.name}/{slide.name} {kind}"
                print(f"{'ok  ' if ok else 'FAIL'} {name:<44} {w}x{h}: {drawn} pixels drawn, "
                      f"{only_ours} only ours, {only_theirs} only sldtoppm's")
                failures += not ok
        print(f"{len(slides)} slides compared, {failures} differ")
        return 1 if failures else 0


def sheet(slb, data, chromium):
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        slides = sorted(p for p in data.iterdir() if p.suffix.lower() == ".sld")
        # Each sample slide under a short name of its own, in one library.
        names = []
        for i, slide in enumerate(slides):
            name = f"S{i:02d}_{slide.stem.split('__')[-1][:20]}"
            shutil.copyfile(slide, work / f"{name}.sld")
            names.append(name.upper())
        run([slb, "add", str(work / "all.slb")] + [str(work / f"{n}.sld") for n in names])
        run([slb, "sheet", str(work / "all.slb"), "-o", str(work / "sheet.html")])
        shot = work / "shot.png"
        run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={work / 'profile'}", "--hide-scrollbars",
             "--force-device-scale-factor=1", "--window-size=1400,1200",
             f"--screenshot={shot}", (work / "sheet.html").as_uri()])
        if len(sys.argv) > 5:
            shutil.copyfile(shot, sys.argv[5])
        width, height, rows = read_ppm(png_to_ppm(shot.read_bytes()))
        black = mask(width, rows, lambda p: p == b"\0\0\0")
        page = rows[1][3:6]  # the page's background, outside every cell
        # A picture's cell: a black 240x180 block with the page's colour
        # left of and above its top-left corner.
        cells = []
        for y in range(1, height - 180):
            for x in range(1, width - 240):
                if (black[y] >> x) & 1 and rows[y][3 * x - 3:3 * x] == page and \
                        rows[y - 1][3 * x:3 * x + 3] == page and (black[y + 179] >> (x + 239)) & 1:
                    cells.append((y, x))
        cells.sort()
        failures = 0
        for (y, x), name in zip(cells, names):
            inside = sum(1 for yy in range(y, y + 180) for xx in range(x, x + 240)
                         if rows[yy][3 * xx:3 * xx + 3] != b"\0\0\0")
            # Lines drawn small keep their colour: one-dot lines scaled down
            # to a fraction of a pixel would show only as dim grey.
            brightest = max((max(rows[yy][3 * xx:3 * xx + 3]) for yy in range(y, y + 180)
                             for xx in range(x, x + 240)), default=0)
            # A cell shows a drawing when, and only when, its slide draws.
            draws = b"<path" in run([slb, "svg", str(work / "all.slb"), name]) or \
                b"<polygon" in run([slb, "svg", str(work / "all.slb"), name])
            ok = (inside > 0) == draws and (not draws or brightest >= 200)
            failures += not ok
            print(f"{'ok  ' if ok else 'FAIL'} cell at {x},{y}: {name}, {inside} pixels drawn, "
                  f"brightest {brightest}")
        print(f"{len(cells)} cells for {len(names)} slides")
        return 0 if len(cells) == len(names) and failures == 0 else 1


if __name__ == "__main__":
    command, slb, data = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    needed = ["sldtoppm", "pngtopnm", "ppmtoppm", "rsvg-convert"] if command == "compare" else ["pngtopnm", "ppmtoppm"]
    missing = [t for t in needed if not shutil.which(t)]
    if command == "sheet" and not os.path.exists(sys.argv[4]):
        missing.append(sys.argv[4])
    if missing:
        print("skipped: " + ", ".join(missing) + " not installed (scripts/test.sh installs them)")
        sys.exit(77)
    if command == "compare":
        sample = int(sys.argv[5]) if len(sys.argv) > 5 and sys.argv[4] == "--sample" else None
        sys.exit(compare(slb, data, sample))
    sys.exit(sheet(slb, data, sys.argv[4]))
