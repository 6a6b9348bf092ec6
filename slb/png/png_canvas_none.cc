// No canvas: a build without cairo outside Windows draws no PNG.
#include "png/png_canvas.h"

bool pngCanvasAvailable(std::string* why) {
  if (why)
    *why = "PNG is not available in this build (it draws with cairo, which it was built without)";
  return false;
}

struct PngCanvas::Impl {};

PngCanvas::PngCanvas() = default;
PngCanvas::~PngCanvas() = default;

bool PngCanvas::make(int, int, std::string* error) {
  return pngCanvasAvailable(error);
}

uint32_t* PngCanvas::row(int) {
  return nullptr;
}

void PngCanvas::label(int, int, int, int, const std::string&, uint32_t) {}

bool PngCanvas::encode(std::string*, std::string* error) {
  return pngCanvasAvailable(error);
}

bool encodeIndexed(const uint8_t*, int, int, const std::array<uint32_t, 256>&, std::string*,
                   std::string* error) {
  return pngCanvasAvailable(error);
}
