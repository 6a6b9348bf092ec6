#include "slb/slide_png.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "png/png_canvas.h"

bool pngAvailable(std::string* why) {
  return pngCanvasAvailable(why);
}

namespace {

// Draws a slide's shapes into the pixels of the system's canvas (ARGB,
// premultiplied), made when the header tells the aspect ratio. Lines are
// one pixel wide between the pixels that hold their dots' centres, as
// cairo strokes them without antialiasing; fills cover the pixels whose
// centres lie inside them, and are outlined. The pixels are ours on every
// system, so that Linux and Windows draw the same picture. Each line costs at most the
// picture's width and height, clipped to it, whatever its coordinates.
class Raster : public SlideVisitor {
 public:
  Raster(const PictureSize& size, PngBackground background) : size_(size) {
    const uint32_t back = background == PngBackground::kTransparent ? 0
                          : background == PngBackground::kWhite     ? 0xFFFFFFFF
                                                                    : 0xFF000000;
    const Paper paper = background == PngBackground::kWhite ? Paper::kWhite : Paper::kBlack;
    for (int i = 0; i < 256; ++i) {
      colours_[static_cast<size_t>(i)] = 0xFF000000 | paperColour(static_cast<uint8_t>(i), paper);
    }
    // Colour 0 is the background: masks in symbol sets are filled with it.
    colours_[0] = back;
  }
  Raster(const Raster&) = delete;
  Raster& operator=(const Raster&) = delete;

  bool header(const SlideHeader& h) override {
    const auto [width, height] = pictureSize(h.aspect, size_);
    // One byte a pixel, the colour's number (0, the background, to start):
    // a quarter of the memory of ARGB, and a PNG palette's own form.
    indices_.reset(new (std::nothrow)
                       uint8_t[static_cast<size_t>(width) * static_cast<size_t>(height)]());
    if (!indices_) {
      error_ = "cannot make a picture of " + std::to_string(width) + " x " +
               std::to_string(height) + " pixels: out of memory";
      return false;
    }
    width_ = width;
    height_ = height;
    // A dot's centre in pixels: the slide's dots spread over the picture,
    // y growing downwards.
    scaleX_ = width / (h.highX + 1.0);
    scaleY_ = height / (h.highY + 1.0);
    highY_ = h.highY;
    return true;
  }

  void line(uint8_t colour, SlidePoint from, SlidePoint to) override {
    segment(x(from), y(from), x(to), y(to), colour);
  }

  void fill(uint8_t colour, const SlidePoint* points, size_t count) override {
    std::array<std::pair<double, double>, kMaxFillVertices> v;
    double top = HUGE_VAL, bottom = -HUGE_VAL;
    for (size_t i = 0; i < count; ++i) {
      v[i] = {x(points[i]), y(points[i])};
      top = std::min(top, v[i].second);
      bottom = std::max(bottom, v[i].second);
    }
    const uint8_t c = colour;
    // Each row through the centres of its pixels, filled where the edges
    // wind around them (cairo's default rule).
    const int first = static_cast<int>(std::clamp(std::ceil(top - 0.5), 0.0, 1.0 * height_));
    const int last = static_cast<int>(std::clamp(std::floor(bottom - 0.5), -1.0, height_ - 1.0));
    for (int r = first; r <= last; ++r) {
      const double centre = r + 0.5;
      std::array<std::pair<double, int>, kMaxFillVertices> crossings;
      size_t n = 0;
      for (size_t i = 0; i < count; ++i) {
        const auto& [ax, ay] = v[i];
        const auto& [bx, by] = v[(i + 1) % count];
        if ((ay <= centre) == (by <= centre)) continue;
        crossings[n++] = {ax + (centre - ay) * (bx - ax) / (by - ay), by > ay ? 1 : -1};
      }
      std::sort(crossings.begin(), crossings.begin() + static_cast<std::ptrdiff_t>(n));
      int winding = 0;
      for (size_t k = 0; k + 1 < n; ++k) {
        winding += crossings[k].second;
        if (winding == 0) continue;
        const double from = std::max(0.0, std::ceil(crossings[k].first - 0.5));
        const double to =
            std::min(static_cast<double>(width_), std::ceil(crossings[k + 1].first - 0.5));
        if (from < to) std::fill(row(r) + static_cast<int>(from), row(r) + static_cast<int>(to), c);
      }
    }
    for (size_t i = 0; i < count; ++i) {
      const auto& a = v[i];
      const auto& b = v[(i + 1) % count];
      segment(a.first, a.second, b.first, b.second, c);
    }
  }

  // The picture drawn, pixel by pixel, when there is one.
  bool drawn() const { return error_.empty() && width_ > 0; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Row y of the picture in colours (0xAARRGGBB, premultiplied).
  void pixels(int y, uint32_t* out) {
    const uint8_t* in = row(y);
    for (int x = 0; x < width_; ++x) out[x] = colours_[in[x]];
  }

  // The PNG of what was drawn.
  bool finish(std::string* png, std::string* error) {
    if (!error_.empty()) {
      *error = error_;
      return false;
    }
    return encodeIndexed(indices_.get(), width_, height_, colours_, png, error);
  }

 private:
  double x(SlidePoint dot) const { return (dot.first + 0.5) * scaleX_; }
  double y(SlidePoint dot) const {
    return (static_cast<double>(highY_) - dot.second + 0.5) * scaleY_;
  }
  uint8_t* row(int y) { return indices_.get() + static_cast<ptrdiff_t>(y) * width_; }

  // A line one pixel wide from the pixel holding (x0, y0) to the one holding
  // (x1, y1), both ends drawn; what lies outside the picture is cut off first.
  void segment(double x0, double y0, double x1, double y1, uint8_t c) {
    const auto inside = [&](double x, double y) {
      return x >= 0 && x < width_ && y >= 0 && y < height_;
    };
    if (x0 == x1 && y0 == y1) {  // a dot
      if (inside(x0, y0)) row(static_cast<int>(y0))[static_cast<int>(x0)] = c;
      return;
    }
    if (!(inside(x0, y0) && inside(x1, y1)) && !clip(&x0, &y0, &x1, &y1)) return;
    const auto cell = [](double v, int size) {
      return std::clamp(static_cast<int64_t>(std::floor(v)), int64_t{0}, int64_t{size} - 1);
    };
    int64_t px = cell(x0, width_), py = cell(y0, height_);
    const int64_t ex = cell(x1, width_), ey = cell(y1, height_);
    const int64_t dx = ex > px ? ex - px : px - ex, dy = -(ey > py ? ey - py : py - ey);
    const int sx = px < ex ? 1 : -1, sy = py < ey ? 1 : -1;
    int64_t error = dx + dy;
    for (;;) {
      row(static_cast<int>(py))[px] = c;
      if (px == ex && py == ey) break;
      const int64_t twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        px += sx;
      }
      if (twice <= dx) {
        error += dx;
        py += sy;
      }
    }
  }

  // Cuts the segment to the picture (Liang-Barsky); false when none of it
  // is inside.
  bool clip(double* x0, double* y0, double* x1, double* y1) const {
    const double dx = *x1 - *x0, dy = *y1 - *y0;
    double enter = 0, leave = 1;
    const auto edge = [&](double p, double q) {
      if (p == 0) return q >= 0;
      const double t = q / p;
      if (p < 0) {
        if (t > leave) return false;
        enter = std::max(enter, t);
      } else {
        if (t < enter) return false;
        leave = std::min(leave, t);
      }
      return true;
    };
    if (!edge(-dx, *x0) || !edge(dx, width_ - *x0) || !edge(-dy, *y0) || !edge(dy, height_ - *y0)) {
      return false;
    }
    const double startX = *x0, startY = *y0;
    if (leave < 1) *x1 = startX + leave * dx, *y1 = startY + leave * dy;
    if (enter > 0) *x0 = startX + enter * dx, *y0 = startY + enter * dy;
    return true;
  }

  PictureSize size_;
  std::array<uint32_t, 256> colours_;
  std::unique_ptr<uint8_t[]> indices_;
  std::string error_;
  int width_ = 0, height_ = 0;
  double scaleX_ = 1, scaleY_ = 1;
  unsigned highY_ = 0;
};

}  // namespace

bool renderPng(const SlideSource& slide, const PictureSize& size, PngBackground background,
               std::string* png, std::string* error) {
  if (!pngAvailable(error)) return false;
  Raster raster(size, background);
  const SlideScan scan = scanSlide(slide, raster);
  if (!scan.cause.ok()) {
    *error = scan.cause.toString();
    return false;
  }
  if (!scan.isSlide) {
    *error = scan.first.what;
    return false;
  }
  return raster.finish(png, error);
}

bool renderPngMosaic(const std::vector<SheetSlide>& slides, int side, PngBackground background,
                     std::string* png, std::string* error) {
  if (!pngAvailable(error)) return false;
  if (slides.empty()) {
    *error = "an empty library: no slide to draw";
    return false;
  }
  side = std::clamp(side, 16, kMaxPictureSide);
  PngCanvas mosaic;
  if (!mosaic.make(side, side, error)) return false;
  const uint32_t back = background == PngBackground::kTransparent ? 0
                        : background == PngBackground::kWhite     ? 0xFFFFFFFF
                                                                  : 0xFF000000;
  for (int y = 0; y < side; ++y) std::fill_n(mosaic.row(y), side, back);
  // Each square: the slide as large as it fits above a line for its name.
  const int tile = side / 2;
  const int label = std::max(6, tile / 7);
  int drawn = 0;
  std::string why;
  for (size_t k = 0; k < std::min<size_t>(4, slides.size()); ++k) {
    const int left = static_cast<int>(k % 2) * tile, top = static_cast<int>(k / 2) * tile;
    PictureSize size;
    size.within = std::max(1, tile - label - 2);
    Raster raster(size, background);
    const SlideScan scan = scanSlide(slides[k].slide, raster);
    if (scan.cause.ok() && scan.isSlide && raster.drawn()) {
      const int x0 = left + (tile - raster.width()) / 2;
      const int y0 = top + (tile - label - raster.height()) / 2;
      for (int y = 0; y < raster.height(); ++y) raster.pixels(y, mosaic.row(y0 + y) + x0);
      ++drawn;
    } else if (why.empty()) {
      why = slides[k].name + ": " + (scan.cause.ok() ? scan.first.what : scan.cause.toString());
    }
    // The name, centred under the slide and cut to its square.
    mosaic.label(left, top + tile - label, tile, label, slides[k].name,
                 background == PngBackground::kBlack ? 0xFFE6E6E6 : 0xFF404040);
  }
  if (drawn == 0) {
    *error = "no slide of the first four can be drawn: " + why;
    return false;
  }
  return mosaic.encode(png, error);
}
