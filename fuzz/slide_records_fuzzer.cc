// Arbitrary bytes as a slide: the header and records are read, every
// problem is reported with an offset inside the slide, and what could be
// read draws as SVG, as PNG and on a sheet. Nothing may crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "slb/slide_png.h"
#include "slb/slide_render.h"
#include "vetrix/slides/slide_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  if (parseSlide(bytes, &picture, &problems)) {
    std::string svg;
    renderSvg(bytes, "fuzz", PictureSize(), Paper::kBlack, &svg);
    if (svg.find("</svg>") == std::string::npos) std::abort();
    if (picture.end > size) std::abort();
    // A small picture: most dots lie outside it, or many on one pixel.
    std::string png, error;
    if (pngAvailable() &&
        !renderPng(bytes, PictureSize{0, 0, 40}, PngBackground::kWhite, &png, &error)) {
      std::abort();
    }
  }
  for (const SlideProblem& p : problems) {
    if (p.offset > size || p.what.empty()) std::abort();
  }
  std::string page;
  if (!renderSheet("fuzz", {{"A", bytes}}, SheetOptions(), &page).ok()) std::abort();
  return 0;
}
