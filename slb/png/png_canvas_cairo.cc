// The canvas on cairo: an ARGB32 image surface, written with cairo's PNG
// writer.
#include <cairo.h>

#include "png/png_canvas.h"

bool pngCanvasAvailable(std::string*) {
  return true;
}

struct PngCanvas::Impl {
  ~Impl() {
    if (surface) cairo_surface_destroy(surface);
  }
  cairo_surface_t* surface = nullptr;
  unsigned char* pixels = nullptr;
  int stride = 0;
};

PngCanvas::PngCanvas() : impl_(std::make_unique<Impl>()) {}
PngCanvas::~PngCanvas() = default;

bool PngCanvas::make(int width, int height, std::string* error) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    *error = "cannot make a picture of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels: " + cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return false;
  }
  if (impl_->surface) cairo_surface_destroy(impl_->surface);
  impl_->surface = surface;
  cairo_surface_flush(surface);
  impl_->pixels = cairo_image_surface_get_data(surface);
  impl_->stride = cairo_image_surface_get_stride(surface);
  return true;
}

uint32_t* PngCanvas::row(int y) {
  return reinterpret_cast<uint32_t*>(impl_->pixels + static_cast<ptrdiff_t>(y) * impl_->stride);
}

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool PngCanvas::encode(std::string* png, std::string* error) {
  cairo_surface_mark_dirty(impl_->surface);
  png->clear();
  const cairo_status_t written =
      cairo_surface_write_to_png_stream(impl_->surface, appendBytes, png);
  if (written != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot write the PNG: ") + cairo_status_to_string(written);
    return false;
  }
  return true;
}
