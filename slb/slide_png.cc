#include "slide_png.h"

#include <cmath>

#if defined(ZC_HAVE_CAIRO)
#include <cairo.h>
#endif

#if defined(ZC_HAVE_CAIRO)

bool pngAvailable() {
  return true;
}

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void setColour(cairo_t* cr, uint8_t index, PngBackground background) {
  if (index == 0) {
    // Colour 0 is the background: masks in symbol sets are filled with it.
    if (background == PngBackground::kTransparent) {
      cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
      return;
    }
    const double v = background == PngBackground::kWhite ? 1 : 0;
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, v, v, v);
    return;
  }
  uint32_t rgb = slideColour(index);
  if (index == 7 && background == PngBackground::kWhite) rgb = 0;
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, (rgb >> 16) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

}  // namespace

bool renderPng(const SlidePicture& picture, int width, int height, PngBackground background,
               std::string* png, std::string* error) {
  const SlideHeader& h = picture.header;
  const auto [ownWidth, ownHeight] = displaySize(h);
  if (width <= 0 && height <= 0) {
    width = static_cast<int>(ownWidth);
    height = static_cast<int>(ownHeight);
  } else if (width <= 0) {
    width = std::max(1, static_cast<int>(std::lround(height * ownWidth / ownHeight)));
  } else if (height <= 0) {
    height = std::max(1, static_cast<int>(std::lround(width * ownHeight / ownWidth)));
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot make a picture of that size: ") +
             cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  // The background first.
  if (background != PngBackground::kTransparent) {
    setColour(cr, 0, background);
    cairo_paint(cr);
  }
  // A dot's centre, in pixels: the slide's dots spread over the picture,
  // y growing downwards.
  const double sx = width / (h.highX + 1.0), sy = height / (h.highY + 1.0);
  auto x = [&](int dot) { return (dot + 0.5) * sx; };
  auto y = [&](int dot) { return (h.highY - dot + 0.5) * sy; };
  cairo_set_line_width(cr, 1);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
  // Sharp corners of fills would spike out with mitred joins.
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
  for (const SlideShape& shape : picture.shapes) {
    setColour(cr, shape.colour, background);
    if (shape.filled) {
      for (size_t i = 0; i < shape.points.size(); ++i) {
        const auto& p = shape.points[i];
        if (i == 0) {
          cairo_move_to(cr, x(p.first), y(p.second));
        } else {
          cairo_line_to(cr, x(p.first), y(p.second));
        }
      }
      cairo_close_path(cr);
      cairo_fill_preserve(cr);
      cairo_stroke(cr);
      continue;
    }
    cairo_move_to(cr, x(shape.points[0].first), y(shape.points[0].second));
    cairo_line_to(cr, x(shape.points[1].first), y(shape.points[1].second));
    if (shape.points[0] == shape.points[1]) {
      // A vector of one dot: a square of one pixel.
      cairo_new_path(cr);
      cairo_rectangle(cr, std::floor(x(shape.points[0].first)),
                      std::floor(y(shape.points[0].second)), 1, 1);
      cairo_fill(cr);
      continue;
    }
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  png->clear();
  const cairo_status_t written = cairo_surface_write_to_png_stream(surface, appendBytes, png);
  cairo_surface_destroy(surface);
  if (written != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot write the PNG: ") + cairo_status_to_string(written);
    return false;
  }
  return true;
}

#else

bool pngAvailable() {
  return false;
}

bool renderPng(const SlidePicture&, int, int, PngBackground, std::string*, std::string* error) {
  *error = "PNG is not available in this build (it draws with cairo, which it was built without)";
  return false;
}

#endif
