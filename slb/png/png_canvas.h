// The picture a PNG is drawn into, and its encoding, from the system's own
// library: cairo on Linux, GDI+ on Windows. The drawing itself is the same
// on every system (slide_png.cc): it sets pixels, the library holds them
// and writes the PNG.
#pragma once

#include <array>
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
  // Writes `text` (UTF-8) on one line, centred in the box of width x height
  // pixels at (left, top) and cut to it, in the system's sans-serif face of
  // about the box's height, in `argb`. Text is the system's to draw: its
  // shapes (and whether a character has one) differ between systems.
  void label(int left, int top, int width, int height, const std::string& text, uint32_t argb);
  // The PNG of the picture as drawn: 8-bit with a palette when the picture
  // holds at most 256 colours (a slide's drawing always does), else RGBA.
  [[nodiscard]] bool encode(std::string* png, std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A PNG of width x height pixels given as indices into `palette`
// (0xAARRGGBB, premultiplied), rows one after another.
[[nodiscard]] bool encodeIndexed(const uint8_t* indices, int width, int height,
                                 const std::array<uint32_t, 256>& palette, std::string* png,
                                 std::string* error);
