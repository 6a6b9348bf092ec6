// The canvas on GDI+, Windows' own imaging library: the pixels in memory of
// ours, made a 32-bit ARGB bitmap of GDI+ and saved with its PNG encoder.
#include <windows.h>
// After windows.h, which it needs.
#include <gdiplus.h>
#include <objidl.h>

#include <new>

#include "png/png_canvas.h"

namespace gdip = Gdiplus::DllExports;

namespace {

// GDI+'s PNG encoder, a fixed identifier of the system's.
const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

std::string statusText(Gdiplus::GpStatus status) {
  switch (status) {
    case Gdiplus::OutOfMemory:
      return "out of memory";
    case Gdiplus::InvalidParameter:
      return "invalid parameter";
    case Gdiplus::GdiplusNotInitialized:
      return "GDI+ is not started";
    default:
      return "GDI+ status " + std::to_string(static_cast<int>(status));
  }
}

// GDI+ started once for the process, and left running until it ends.
Gdiplus::GpStatus started() {
  static const Gdiplus::GpStatus status = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr);
  }();
  return status;
}

}  // namespace

bool pngCanvasAvailable(std::string* why) {
  const Gdiplus::GpStatus status = started();
  if (status == Gdiplus::Ok) return true;
  if (why) *why = "PNG is not available: GDI+ did not start (" + statusText(status) + ")";
  return false;
}

struct PngCanvas::Impl {
  std::unique_ptr<uint32_t[]> pixels;
  int width = 0, height = 0;
};

PngCanvas::PngCanvas() : impl_(std::make_unique<Impl>()) {}
PngCanvas::~PngCanvas() = default;

bool PngCanvas::make(int width, int height, std::string* error) {
  const std::string what = "cannot make a picture of " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels: ";
  if (width <= 0 || height <= 0) {
    *error = what + "invalid size";
    return false;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (count / static_cast<size_t>(width) != static_cast<size_t>(height) ||
      count > SIZE_MAX / sizeof(uint32_t)) {
    *error = what + "out of memory";
    return false;
  }
  impl_->pixels.reset(new (std::nothrow) uint32_t[count]());
  if (!impl_->pixels) {
    *error = what + "out of memory";
    return false;
  }
  impl_->width = width;
  impl_->height = height;
  return true;
}

uint32_t* PngCanvas::row(int y) {
  return impl_->pixels.get() + static_cast<ptrdiff_t>(y) * impl_->width;
}

bool PngCanvas::encode(std::string* png, std::string* error) {
  const Gdiplus::GpStatus status = started();
  if (status != Gdiplus::Ok) {
    *error = "cannot write the PNG: GDI+ did not start (" + statusText(status) + ")";
    return false;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  Gdiplus::GpStatus made = gdip::GdipCreateBitmapFromScan0(
      impl_->width, impl_->height, impl_->width * 4, PixelFormat32bppARGB,
      reinterpret_cast<BYTE*>(impl_->pixels.get()), &bitmap);
  if (made != Gdiplus::Ok) {
    *error = "cannot write the PNG: " + statusText(made);
    return false;
  }
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
    gdip::GdipDisposeImage(bitmap);
    *error = "cannot write the PNG: out of memory";
    return false;
  }
  const Gdiplus::GpStatus saved =
      gdip::GdipSaveImageToStream(bitmap, stream, &kPngEncoder, nullptr);
  gdip::GdipDisposeImage(bitmap);
  bool ok = saved == Gdiplus::Ok;
  if (!ok) *error = "cannot write the PNG: " + statusText(saved);
  STATSTG stat{};
  HGLOBAL memory = nullptr;
  if (ok && (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
             FAILED(GetHGlobalFromStream(stream, &memory)))) {
    ok = false;
    *error = "cannot write the PNG: the encoder's output cannot be read";
  }
  if (ok) {
    const void* bytes = GlobalLock(memory);
    if (bytes) {
      png->assign(static_cast<const char*>(bytes), static_cast<size_t>(stat.cbSize.QuadPart));
      GlobalUnlock(memory);
    } else {
      ok = false;
      *error = "cannot write the PNG: the encoder's output cannot be read";
    }
  }
  stream->Release();
  return ok;
}
