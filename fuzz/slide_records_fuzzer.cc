// Arbitrary bytes as a slide: the header and records are read, every
// problem is reported with an offset inside the slide, and what could be
// read draws as SVG. Nothing may crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "slb/slide_render.h"
#include "vetrix/slides/slide_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  if (parseSlide(bytes, &picture, &problems)) {
    const std::string svg = renderSvg(picture, "fuzz");
    if (svg.find("</svg>") == std::string::npos) std::abort();
    if (picture.end > size) std::abort();
  }
  for (const SlideProblem& p : problems) {
    if (p.offset > size || p.what.empty()) std::abort();
  }
  renderSheet("fuzz", {{"A", bytes}});
  return 0;
}
