// The canvas on cairo: an ARGB32 image surface. A picture of at most 256
// colours (every slide's) is written by us as a palette PNG, compressed by
// zlib; any other by cairo's PNG writer.
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <vector>

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

void PngCanvas::label(int left, int top, int width, int height, const std::string& text,
                      uint32_t argb) {
  cairo_surface_mark_dirty(impl_->surface);
  cairo_t* cr = cairo_create(impl_->surface);
  cairo_rectangle(cr, left, top, width, height);
  cairo_clip(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, height * 0.8);
  cairo_text_extents_t extents{};
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_set_source_rgb(cr, (argb >> 16 & 0xFF) / 255.0, (argb >> 8 & 0xFF) / 255.0,
                       (argb & 0xFF) / 255.0);
  cairo_move_to(cr, left + std::max(1.0, (width - extents.x_advance) / 2), top + height * 0.8);
  cairo_show_text(cr, text.c_str());  // text that is not UTF-8 leaves cr in error: nothing drawn
  cairo_destroy(cr);
  cairo_surface_flush(impl_->surface);
}

namespace {

void putBig(std::string* out, uint32_t v) {
  const char bytes[] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                        static_cast<char>(v >> 8), static_cast<char>(v)};
  out->append(bytes, 4);
}

void putChunk(std::string* png, const char* type, const std::string& bytes) {
  putBig(png, static_cast<uint32_t>(bytes.size()));
  const size_t start = png->size();
  png->append(type, 4);
  png->append(bytes);
  putBig(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png->data() + start),
                                          static_cast<uInt>(png->size() - start))));
}

// The picture's pixels as palette indices, rows unfiltered; false when it
// holds more than 256 colours.
bool toPalette(PngCanvas& canvas, int width, int height, std::vector<uint32_t>* colours,
               std::string* rows) {
  // Colours by hash, open addressing in a table twice the palette's size.
  std::array<int, 512> slots;
  slots.fill(-1);
  const auto indexOf = [&](uint32_t c) -> int {
    for (size_t h = (c * 2654435761u) >> 23;; h = (h + 1) & 511) {
      if (slots[h] < 0) {
        if (colours->size() == 256) return -1;
        slots[h] = static_cast<int>(colours->size());
        colours->push_back(c);
        return slots[h];
      }
      if ((*colours)[static_cast<size_t>(slots[h])] == c) return slots[h];
    }
  };
  rows->assign(static_cast<size_t>(width + 1) * static_cast<size_t>(height), '\0');
  for (int y = 0; y < height; ++y) {
    const uint32_t* pixel = canvas.row(y);
    char* out = &(*rows)[static_cast<size_t>(y) * static_cast<size_t>(width + 1) + 1];
    uint32_t last = pixel[0];
    int index = indexOf(last);
    for (int x = 0; x < width; ++x) {
      if (pixel[x] != last) last = pixel[x], index = indexOf(last);
      if (index < 0) return false;
      out[x] = static_cast<char>(index);
    }
  }
  return true;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The PNG of `rows` (each a filter byte, 0, and its pixels' indices) in
// `count` colours (0xAARRGGBB, premultiplied).
bool palettePng(const std::string& rows, int width, int height, const uint32_t* colours,
                size_t count, std::string* png, std::string* error) {
  // Line drawings on one background compress well unfiltered, and fast.
  uLongf packed = compressBound(static_cast<uLong>(rows.size()));
  std::string data(packed, '\0');
  if (compress2(reinterpret_cast<Bytef*>(data.data()), &packed,
                reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()),
                Z_BEST_SPEED) != Z_OK) {
    *error = "cannot write the PNG: out of memory";
    return false;
  }
  data.resize(packed);
  std::string header, palette, alpha;
  putBig(&header, static_cast<uint32_t>(width));
  putBig(&header, static_cast<uint32_t>(height));
  header.append("\x08\x03\0\0\0", 5);  // 8-bit indices into a palette
  for (size_t i = 0; i < count; ++i) {
    // Cairo's pixels are premultiplied; PNG's are not.
    const uint32_t c = colours[i], a = c >> 24;
    const auto channel = [a](uint32_t v) {
      return static_cast<char>(a == 0 ? 0 : std::min<uint32_t>(255, (v * 255 + a / 2) / a));
    };
    palette += {channel(c >> 16 & 0xFF), channel(c >> 8 & 0xFF), channel(c & 0xFF)};
    alpha += static_cast<char>(a);
  }
  png->assign("\x89PNG\r\n\x1a\n");
  putChunk(png, "IHDR", header);
  putChunk(png, "PLTE", palette);
  if (alpha.find_first_not_of('\xff') != std::string::npos) putChunk(png, "tRNS", alpha);
  putChunk(png, "IDAT", data);
  putChunk(png, "IEND", "");
  return true;
}

}  // namespace

bool PngCanvas::encode(std::string* png, std::string* error) {
  const int width = cairo_image_surface_get_width(impl_->surface);
  const int height = cairo_image_surface_get_height(impl_->surface);
  std::vector<uint32_t> colours;
  std::string rows;
  if (toPalette(*this, width, height, &colours, &rows)) {
    return palettePng(rows, width, height, colours.data(), colours.size(), png, error);
  }
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

bool encodeIndexed(const uint8_t* indices, int width, int height,
                   const std::array<uint32_t, 256>& palette, std::string* png, std::string* error) {
  const size_t stride = static_cast<size_t>(width) + 1;
  std::string rows(stride * static_cast<size_t>(height), '\0');
  for (int y = 0; y < height; ++y) {
    std::copy_n(indices + static_cast<ptrdiff_t>(y) * width, width,
                &rows[static_cast<size_t>(y) * stride + 1]);
  }
  return palettePng(rows, width, height, palette.data(), palette.size(), png, error);
}
