// A slide of a DXF drawing: what a CAD host's slide of a view of it shows.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "slb/dxf_reader.h"
#include "slb/stroke_font.h"

struct DxfView {
  bool window = false;  // the window below, else the drawing's extents
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int width = 1024, height = 768;    // the slide's screen, in dots
  const StrokeFont* font = nullptr;  // for TEXT and MTEXT, which are skipped without one
  // The glyphs of the TrueType font a text style names by its file, or
  // empty: text in such a style is then drawn in `font`.
  std::function<StrokeFont::Fallback(std::string_view fontFile)> trueType;
};

// What drawing the slide met.
struct DxfSlideResult {
  bool ok = false;
  std::string slide;                      // the slide's bytes
  std::map<std::string, size_t> skipped;  // entities that were not drawn, by type
  DxfFault fault;                         // why there is no slide
};

// The slide of `drawing`'s model space, seen through `view` (fitted into
// the screen, centred, the drawing's units square): LINE, POINT, CIRCLE,
// ARC, ELLIPSE, LWPOLYLINE and POLYLINE (bulges as arcs, constant widths
// as filled bands), SOLID and TRACE, solid HATCHes (patterned: outlines)
// as solid fills, INSERT of blocks (nested, scaled, rotated, in columns
// and rows) with their attributes, DIMENSION (its block), SPLINE, TEXT and
// MTEXT in the stroke font (height,
// rotation, width factor, the justifications; MTEXT's formatting codes
// left out but for its paragraphs). Colours by ACI, BYLAYER and BYBLOCK resolved, true colours to
// the nearest ACI; layers off or frozen and invisible entities left out.
// Curves are flattened to within half a dot; lines and fills are clipped
// to the screen. Other entities are counted in `skipped`. A fault for a
// drawing with nothing to draw, and one that draws more than a slide can
// hold (kMaxDrawnShapes lines and fills, counting those outside the view).
constexpr size_t kMaxDrawnShapes = size_t{1} << 24;
DxfSlideResult dxfToSlide(const DxfDrawing& drawing, const DxfView& view);
