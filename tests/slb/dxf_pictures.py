#!/usr/bin/env python3
"""slb make's slides of DXF drawings against ezdxf's own pictures of them.

Each entity kind is drawn into a DXF file by ezdxf; ezdxf's drawing add-on
(matplotlib) draws it, and netpbm's sldtoppm draws the slide slb makes of
it, both of the same window at the same size. The pictures must agree: at
least 90% of either's inked pixels lie within one pixel of the other's.
Real drawings from other projects (DATA/dxf, listed in its SOURCES.txt) are
held to the same agreement.

Usage: dxf_pictures.py SLB DATA [--keep DIR]
Exit 77 (skipped) without python3-ezdxf, matplotlib, numpy or sldtoppm."""
import math
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import ezdxf
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    from ezdxf import bbox, recover
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.config import Configuration
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
    from ezdxf.addons.drawing.properties import LayoutProperties
except ImportError as missing:
    print(f"skipped: {missing.name} is not installed (Debian: python3-ezdxf)")
    sys.exit(77)

WIDTH, HEIGHT = 400, 300
AGREEMENT = 0.90


def lines(msp):
    msp.add_line((0, 0), (100, 40))
    msp.add_line((0, 40), (100, 0), dxfattribs={"color": 1})


def lwpolyline(msp):
    # Bulges: a half circle each way, and a closed outline.
    msp.add_lwpolyline([(0, 0, 0, 0, 1), (40, 0, 0, 0, -0.5), (80, 0), (80, 40)],
                       format="xyseb", dxfattribs={"closed": True, "color": 3})
    # A constant width: a filled band.
    msp.add_lwpolyline([(0, 50), (40, 60), (80, 50)], dxfattribs={"const_width": 4})


def polyline(msp):
    p = msp.add_polyline2d([(0, 0), (50, 10), (60, 50), (10, 40)], close=True)
    p.vertices[1].dxf.bulge = 0.4


def circle(msp):
    msp.add_circle((0, 0), 50)
    msp.add_circle((30, 0), 5, dxfattribs={"color": 2})


def arc(msp):
    msp.add_arc((0, 0), 50, 30, 300)
    msp.add_arc((0, 0), 30, 300, 30, dxfattribs={"color": 4})
    # Seen from below, and tilted: object coordinates by the arbitrary axis rule.
    msp.add_arc((10, 5), 20, 0, 120, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_circle((20, -10), 15, dxfattribs={"extrusion": (0.5, 0.3, 0.8), "color": 5})


def solid(msp):
    msp.add_solid([(0, 0), (40, 0), (0, 30), (40, 30)], dxfattribs={"color": 1})
    msp.add_trace([(50, 0), (90, 10), (50, 20), (90, 30)], dxfattribs={"color": 5})
    msp.add_solid([(0, 40), (40, 40), (20, 70)])


def insert(msp):
    doc = msp.doc
    inner = doc.blocks.new("INNER")
    inner.add_circle((0, 0), 2)
    inner.add_line((-3, 0), (3, 0))
    outer = doc.blocks.new("OUTER", base_point=(1, 1))
    outer.add_lwpolyline([(0, 0), (10, 0), (10, 6)], dxfattribs={"color": 0})  # BYBLOCK
    outer.add_blockref("INNER", (5, 3), dxfattribs={"xscale": 0.5, "yscale": 0.5})
    msp.add_blockref("OUTER", (0, 0), dxfattribs={"rotation": 30, "xscale": 2, "color": 1})
    grid = msp.add_blockref("INNER", (40, 0))
    grid.dxf.column_count, grid.dxf.row_count = 4, 3
    grid.dxf.column_spacing, grid.dxf.row_spacing = 8, 8
    msp.add_blockref("OUTER", (0, 30), dxfattribs={"xscale": -1, "rotation": 90})


def dimension(msp):
    msp.add_line((0, 0), (60, 0))
    dim = msp.add_linear_dim(base=(0, 15), p1=(0, 0), p2=(60, 0), dimstyle="EZDXF")
    dim.render()


def ellipse(msp):
    msp.add_ellipse((0, 0), major_axis=(50, 20), ratio=0.4)
    msp.add_ellipse((0, 0), major_axis=(0, 30), ratio=0.5, start_param=0.5, end_param=4,
                    dxfattribs={"color": 6})


def spline(msp):
    msp.add_open_spline([(0, 0), (20, 40), (40, -20), (60, 30), (80, 0)], degree=3)
    msp.add_rational_spline([(0, -30), (30, 10), (60, -30)], [1, 3, 1], degree=2,
                            dxfattribs={"color": 2})


def text(msp, style="Standard"):
    msp.add_text("Slide 42", dxfattribs={"height": 10, "rotation": 15, "style": style}).set_pos(
        (0, 0))
    msp.add_text("centred", dxfattribs={"height": 6, "color": 3, "style": style}).set_pos(
        (40, -20), align="MIDDLE_CENTER")
    msp.add_mtext("two\\Plines", dxfattribs={"char_height": 5, "insert": (60, -10),
                                             "attachment_point": 1, "color": 2, "style": style})


def truetype_text(msp):
    # A style that names a TrueType font: both fill its glyphs.
    msp.doc.styles.new("SANS", dxfattribs={"font": "DejaVuSans.ttf"})
    text(msp, "SANS")


def hatch(msp):
    # A solid fill with a hole, of a polyline path with a bulge and of edges.
    h = msp.add_hatch(color=1)
    h.paths.add_polyline_path([(0, 0, 0), (60, 0, 0.5), (60, 40, 0), (0, 40, 0)], is_closed=True)
    edges = h.paths.add_edge_path()
    edges.add_line((10, 10), (30, 10))
    edges.add_arc((30, 20), 10, -90, 90)
    edges.add_line((30, 30), (10, 30))
    edges.add_line((10, 30), (10, 10))
    pattern = msp.add_hatch(color=4)
    pattern.set_pattern_fill("ANSI31", scale=2)
    pattern.paths.add_polyline_path([(70, 0), (90, 0), (80, 30)], is_closed=True)


def point(msp):
    for x in range(0, 100, 10):
        msp.add_point((x, x / 2))
    msp.add_line((0, 0), (100, 0))


def layers(msp):
    doc = msp.doc
    doc.layers.add("RED", color=1)
    doc.layers.add("HIDDEN", color=2).off()
    doc.layers.add("FROZEN", color=3).freeze()
    msp.add_line((0, 0), (100, 50), dxfattribs={"layer": "RED"})
    msp.add_circle((50, 25), 20, dxfattribs={"layer": "HIDDEN"})
    msp.add_circle((20, 25), 20, dxfattribs={"layer": "FROZEN"})
    msp.add_line((0, 50), (100, 0), dxfattribs={"true_color": ezdxf.rgb2int((0, 200, 0))})


# One row an entity kind: its name and what draws it. Text in a style of
# a stroke font (txt, the default) is shown but not held to the agreement:
# slb draws it in Hershey's, ezdxf fills the outlines of a TrueType font in
# its place, wider or narrower glyph by glyph. Text in a style that names a
# TrueType font is held: both fill that font's glyphs. A patterned HATCH is
# drawn as its outline only.
NOT_HELD = {"TEXT and MTEXT"}
KINDS = [
    ("LINE", lines),
    ("LWPOLYLINE", lwpolyline),
    ("POLYLINE", polyline),
    ("CIRCLE", circle),
    ("ARC", arc),
    ("ELLIPSE", ellipse),
    ("SPLINE", spline),
    ("TEXT and MTEXT", text),
    ("TEXT and MTEXT in a TrueType style", truetype_text),
    ("HATCH", hatch),
    ("POINT", point),
    ("SOLID and TRACE", solid),
    ("INSERT", insert),
    ("INSERT, binary DXF", insert),
    ("DIMENSION", dimension),
    ("layers and colours", layers),
]


# Real drawings in DATA/dxf, chosen without text (the fonts differ, as
# above). slb make draws them with --lenient, and ezdxf leaves out the kinds
# slb names as skipped.
REAL = [
    "ezdxf__AC1003_LINE_Example.dxf",
    "ezdxf__bin_dxf_r12.dxf",
    "ezdxf__forms.dxf",
    "ezdxf__hatches_1.dxf",
    "ezdxf__clockwise_arcs_hatch.dxf",
    "dxf-parser__polylines.dxf",
]


def window(msp):
    """A window round the drawing's extents, at the pictures' aspect."""
    box = bbox.extents(msp)
    (x1, y1, _), (x2, y2, _) = box.extmin, box.extmax
    cx, cy = (x1 + x2) / 2, (y1 + y2) / 2
    w, h = max(x2 - x1, 1e-9) * 1.1, max(y2 - y1, 1e-9) * 1.1
    ratio = (WIDTH - 1) / (HEIGHT - 1)
    if w / h < ratio:
        w = h * ratio
    else:
        h = w / ratio
    return cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2


def inked(rgb):
    """The pixels that differ from the background (the most common colour)."""
    flat = rgb.reshape(-1, 3)
    colours, counts = np.unique(flat, axis=0, return_counts=True)
    background = colours[counts.argmax()].astype(int)
    return np.abs(rgb.astype(int) - background).sum(axis=2) > 96


def grown(mask):
    """The mask and every pixel next to it."""
    out = mask.copy()
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            out |= np.roll(np.roll(mask, dy, axis=0), dx, axis=1)
    return out


def ezdxf_picture(doc, win, left_out=()):
    x1, y1, x2, y2 = win
    fig = plt.figure(figsize=(WIDTH / 100, HEIGHT / 100), dpi=100)
    ax = fig.add_axes([0, 0, 1, 1])
    ctx = RenderContext(doc)
    backend = MatplotlibBackend(ax)
    # On the host's black screen, as sldtoppm draws slides.
    properties = LayoutProperties.from_layout(doc.modelspace())
    properties.set_colors("#000000")
    Frontend(ctx, backend, config=Configuration.defaults().with_changes(lineweight_scaling=0)
             ).draw_layout(doc.modelspace(), finalize=True, layout_properties=properties,
                           filter_func=lambda e: e.dxftype() not in left_out)
    # Dots are the centres of the slide's pixels: the window reaches half a
    # pixel further on every side.
    half = (x2 - x1) / (WIDTH - 1) / 2
    ax.set_xlim(x1 - half, x2 + half)
    ax.set_ylim(y1 - half, y2 + half)
    ax.set_axis_off()
    fig.patch.set_facecolor("#000000")
    # The drawing add-on sizes the figure to the drawing: back to the slide's.
    ax.set_position([0, 0, 1, 1])
    fig.set_dpi(100)
    fig.set_size_inches(WIDTH / 100, HEIGHT / 100)
    fig.canvas.draw()
    rgb = np.asarray(fig.canvas.buffer_rgba())[:, :, :3].copy()
    plt.close(fig)
    return rgb


def slide_picture(slb, dxf, win, folder, lenient=False):
    """sldtoppm's picture of slb's slide, and what slb make said."""
    sld = os.path.join(folder, "out.sld")
    made = subprocess.run([slb, "make", dxf, "-o", sld, "--width", str(WIDTH), "--height",
                           str(HEIGHT), "--window", ",".join(f"{v:.9g}" for v in win)]
                          + ["--lenient"] * lenient, capture_output=True, text=True)
    if made.returncode != 0:
        return None, made.stderr.strip()
    ppm = subprocess.run(["sldtoppm", sld], capture_output=True).stdout
    # P6, width, height, maximum, then the pixels.
    fields = ppm.split(maxsplit=4)
    w, h = int(fields[1]), int(fields[2])
    return np.frombuffer(fields[4][: w * h * 3], dtype=np.uint8).reshape(h, w, 3), made.stderr


def agreement(a, b):
    """The smaller share of either's inked pixels near the other's."""
    ia, ib = inked(a), inked(b)
    if not ia.any() or not ib.any():
        return 0.0
    return min((ia & grown(ib)).sum() / ia.sum(), (ib & grown(ia)).sum() / ib.sum())


def skipped(stderr):
    """The kinds slb make named as skipped: "skipped: 3 IMAGE, 1 OLE2FRAME"."""
    for line in stderr.splitlines():
        if "skipped:" in line:
            return {item.split()[-1] for item in line.split("skipped:", 1)[1].split(",")}
    return set()


def main():
    slb, data = sys.argv[1], sys.argv[2]
    keep = sys.argv[sys.argv.index("--keep") + 1] if "--keep" in sys.argv else None
    import logging

    logging.getLogger("matplotlib.font_manager").setLevel(logging.ERROR)
    if not shutil.which("sldtoppm"):
        print("skipped: sldtoppm is not installed (Debian: netpbm)")
        return 77
    failed = 0

    def compare(name, dxf, ours, theirs, held=True):
        nonlocal failed
        share = agreement(ours, theirs)
        verdict = "ok" if share >= AGREEMENT else "FAIL" if held else "(another font)"
        print(f"{name}: {share:.1%} of inked pixels agree: {verdict}")
        failed += held and share < AGREEMENT
        if keep:
            os.makedirs(keep, exist_ok=True)
            words = os.path.splitext(name)[0].lower().replace(",", "").split()
            stem = os.path.join(keep, "-".join(words))
            shutil.copy(dxf, stem + ".dxf")
            plt.imsave(stem + "-ezdxf.png", theirs)
            plt.imsave(stem + "-slide.png", ours)

    with tempfile.TemporaryDirectory() as folder:
        for name, draw in KINDS:
            doc = ezdxf.new("R2010")
            draw(doc.modelspace())
            dxf = os.path.join(folder, "in.dxf")
            doc.saveas(dxf, fmt="bin" if "binary" in name else "asc")
            win = window(doc.modelspace())
            ours, error = slide_picture(slb, dxf, win, folder)
            if ours is None:
                print(f"{name}: slb make failed: {error}")
                failed += 1
                continue
            compare(name, dxf, ours, ezdxf_picture(doc, win), held=name not in NOT_HELD)
        for name in REAL:
            dxf = os.path.join(data, "dxf", name)
            # ezdxf's reader of damaged files reads the old group order of
            # the oldest drawings, but not binary DXF.
            with open(dxf, "rb") as f:
                binary = f.read(18) == b"AutoCAD Binary DXF"
            doc = ezdxf.readfile(dxf) if binary else recover.readfile(dxf)[0]
            win = window(doc.modelspace())
            ours, said = slide_picture(slb, dxf, win, folder, lenient=True)
            if ours is None:
                print(f"{name}: slb make failed: {said}")
                failed += 1
                continue
            compare(name, dxf, ours, ezdxf_picture(doc, win, skipped(said)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
