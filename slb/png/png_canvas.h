// The picture a PNG is drawn into, and its encoding, from the system's own
// library: cairo on Linux, GDI+ on Windows. The drawing itself is the same
// on every system (slide_png.cc): it sets pixels, the library holds them
// and writes the PNG.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Whether this build has a canvas; when it has none, why not in *why (when
// given).
[[nodiscard]] bool pngCanvasAvailable(std::string* why);

class PngCanvas {
 public:
  PngCanvas();
  ~PngCanvas();
  PngCanvas(const PngCanvas&) = delete;
  PngCanvas& operator=(const PngCanvas&) = delete;

  // A picture of width x height pixels, all transparent; false with *error
  // ("cannot make a picture of W x H pixels: ...") when there is none.
  [[nodiscard]] bool make(int width, int height, std::string* error);
  // Row y of the picture: width pixels of 0xAARRGGBB, alpha premultiplied
  // (every colour drawn is opaque, or 0 for transparency).
  [[nodiscard]] uint32_t* row(int y);
  // The PNG of the picture as drawn.
  [[nodiscard]] bool encode(std::string* png, std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
