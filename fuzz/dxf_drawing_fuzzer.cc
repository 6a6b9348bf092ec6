// Arbitrary bytes as a DXF drawing: it is refused with a line it has, or
// makes a slide that reads without a problem. Text is drawn in the stroke
// font and the system's fonts where the machine has them. Nothing may
// crash.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "slb/dxf_reader.h"
#include "slb/dxf_slide.h"
#include "slb/system_glyphs.h"
#include "vetrix/slides/slide_file.h"

namespace {

const StrokeFont* strokeFont() {
  static const StrokeFont* font = [] {
    std::ifstream in("/usr/share/hershey-fonts/futural.jhf", std::ios::binary);
    const std::string jhf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static StrokeFont f;
    if (!f.read(jhf)) return static_cast<const StrokeFont*>(nullptr);
    f.setFallback(systemGlyphs());
    return static_cast<const StrokeFont*>(&f);
  }();
  return font;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  DxfDrawing drawing;
  DxfFault fault;
  // Where a fault is: a line of an ASCII file, an offset of a binary one
  // (its lines are those of the text it is read as).
  auto misplaced = [&](const DxfFault& f) {
    if (f.atOffset) return f.offset >= size;
    const std::string place = dxfPlace(drawing, f);
    const uint64_t at = place.empty() ? 0 : std::stoull(place.substr(1));
    return drawing.binaryOffsets.empty() ? at > lines : at >= size;
  };
  if (!readDxf(bytes, &drawing, &fault)) {
    if (fault.what.empty() || misplaced(fault)) std::abort();
    return 0;
  }
  DxfView view;
  view.width = 64;
  view.height = 48;
  view.font = strokeFont();
  view.trueType = trueTypeGlyphs;
  const DxfSlideResult made = dxfToSlide(drawing, view);
  if (!made.ok) {
    if (made.fault.what.empty() || misplaced(made.fault) || !made.slide.empty()) std::abort();
    return 0;
  }
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  if (!parseSlide(made.slide, &picture, &problems) || !problems.empty()) std::abort();
  for (const SlideShape& shape : picture.shapes) {
    for (const SlidePoint& p : shape.points) {
      if (p.first < 0 || p.first > 63 || p.second < 0 || p.second > 47) std::abort();
    }
  }
  return 0;
}
