// The canvas on GDI+, Windows' own imaging library: the pixels in memory of
// ours, made a 32-bit ARGB bitmap of GDI+ and saved with its PNG encoder.
#include <windows.h>
// After windows.h, which it needs.
#include <gdiplus.h>
#include <objidl.h>

#include <new>
#include <string>

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

// The system's sans-serif family; where it has none by that name (Wine
// without Microsoft's fonts), one it ships.
bool sansSerif(Gdiplus::GpFontFamily** family) {
  if (gdip::GdipGetGenericFontFamilySansSerif(family) == Gdiplus::Ok) return true;
  for (const wchar_t* name : {L"Tahoma", L"Arial", L"Microsoft Sans Serif", L"DejaVu Sans"}) {
    if (gdip::GdipCreateFontFamilyFromName(name, nullptr, family) == Gdiplus::Ok) return true;
  }
  *family = nullptr;
  return false;
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

void PngCanvas::label(int left, int top, int width, int height, const std::string& text,
                      uint32_t argb) {
  if (started() != Gdiplus::Ok || text.empty()) return;
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return;  // not UTF-8: nothing drawn
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  // A GDI+ bitmap over our pixels, so that the text is drawn into them.
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gdip::GdipCreateBitmapFromScan0(
          impl_->width, impl_->height, impl_->width * 4, PixelFormat32bppPARGB,
          reinterpret_cast<BYTE*>(impl_->pixels.get()), &bitmap) != Gdiplus::Ok) {
    return;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  Gdiplus::GpFontFamily* family = nullptr;
  Gdiplus::GpFont* font = nullptr;
  Gdiplus::GpSolidFill* brush = nullptr;
  Gdiplus::GpStringFormat* format = nullptr;
  if (gdip::GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok && sansSerif(&family) &&
      gdip::GdipCreateFont(family, static_cast<Gdiplus::REAL>(height * 0.75),
                           Gdiplus::FontStyleRegular, Gdiplus::UnitPixel, &font) == Gdiplus::Ok &&
      gdip::GdipCreateSolidFill(argb, &brush) == Gdiplus::Ok &&
      gdip::GdipCreateStringFormat(Gdiplus::StringFormatFlagsNoWrap, LANG_NEUTRAL, &format) ==
          Gdiplus::Ok) {
    gdip::GdipSetStringFormatAlign(format, Gdiplus::StringAlignmentCenter);
    gdip::GdipSetStringFormatLineAlign(format, Gdiplus::StringAlignmentCenter);
    const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(left), static_cast<Gdiplus::REAL>(top),
                             static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height));
    gdip::GdipSetClipRect(graphics, box.X, box.Y, box.Width, box.Height,
                          Gdiplus::CombineModeReplace);
    gdip::GdipDrawString(graphics, wide.c_str(), length, font, &box, format, brush);
  }
  if (format) gdip::GdipDeleteStringFormat(format);
  if (brush) gdip::GdipDeleteBrush(brush);
  if (font) gdip::GdipDeleteFont(font);
  if (family) gdip::GdipDeleteFontFamily(family);
  if (graphics) gdip::GdipDeleteGraphics(graphics);
  gdip::GdipDisposeImage(bitmap);
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

bool encodeIndexed(const uint8_t* indices, int width, int height,
                   const std::array<uint32_t, 256>& palette, std::string* png, std::string* error) {
  PngCanvas canvas;
  if (!canvas.make(width, height, error)) return false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = indices + static_cast<ptrdiff_t>(y) * width;
    uint32_t* out = canvas.row(y);
    for (int x = 0; x < width; ++x) out[x] = palette[in[x]];
  }
  return canvas.encode(png, error);
}
