// The system's outline fonts on Windows: GDI's glyph outlines, from the
// first of a list of faces (Chinese, Japanese, Korean, then Latin ones)
// that has the character. GDI picks no other face for a character a face
// lacks, so each face is asked in turn.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "slb/system_glyphs.h"

namespace {

// The em the outlines are read at, in GDI's logical units.
constexpr int kEm = 2048;
constexpr int kConicPieces = 8, kCubicPieces = 12;

const wchar_t* const kFaces[] = {
    L"Microsoft YaHei", L"Microsoft JhengHei", L"SimSun", L"MingLiU", L"Meiryo", L"MS Gothic",
    L"Malgun Gothic", L"Segoe UI", L"Arial", L"Tahoma",
    // What Wine finds among the fonts of the system under it.
    L"WenQuanYi Micro Hei", L"Noto Sans CJK SC", L"Droid Sans Fallback", L"DejaVu Sans"};

double fixed(FIXED f) {
  return f.value + f.fract / 65536.0;
}

class Fonts {
 public:
  Fonts() : dc_(CreateCompatibleDC(nullptr)) {}
  ~Fonts() {
    for (Face& f : faces_) {
      if (f.font) DeleteObject(f.font);
    }
    if (dc_) DeleteDC(dc_);
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  bool glyph(char32_t c, StrokeGlyph* out) {
    if (!dc_ || c > 0xFFFF || (c >= 0xD800 && c < 0xE000)) return false;  // one UTF-16 unit
    if (faces_.empty()) open();
    for (const Face& f : faces_) {
      SelectObject(dc_, f.font);
      const WCHAR unit = static_cast<WCHAR>(c);
      WORD index = 0xFFFF;
      if (GetGlyphIndicesW(dc_, &unit, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
          index != 0xFFFF) {
        return outline(f, index, out);
      }
    }
    return false;
  }

 private:
  struct Face {
    HFONT font = nullptr;
    double scale = 1;  // GDI's units to the stroke font's
  };

  void open() {
    for (const wchar_t* name : kFaces) {
      HFONT font = CreateFontW(-kEm, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                               DEFAULT_PITCH, name);
      if (!font) continue;
      SelectObject(dc_, font);
      // A face that is not there is replaced by another: keep only those
      // that are what was asked for.
      wchar_t got[LF_FACESIZE] = {};
      GetTextFaceW(dc_, LF_FACESIZE, got);
      if (lstrcmpiW(got, name) != 0) {
        DeleteObject(font);
        continue;
      }
      double cap = kEm * 0.7;
      const UINT size = GetOutlineTextMetricsW(dc_, 0, nullptr);
      if (size >= sizeof(OUTLINETEXTMETRICW)) {
        std::vector<char> buffer(size);
        auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
        if (GetOutlineTextMetricsW(dc_, size, metrics) != 0 && metrics->otmsCapEmHeight > 0) {
          cap = metrics->otmsCapEmHeight;
        }
      }
      faces_.push_back({font, StrokeFont::kCapHeight / cap});
    }
  }

  bool outline(const Face& f, WORD index, StrokeGlyph* out) {
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS metrics{};
    const UINT format = GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX;
    const DWORD size = GetGlyphOutlineW(dc_, index, format, &metrics, 0, nullptr, &identity);
    if (size == GDI_ERROR) return false;
    std::vector<char> buffer(size);
    if (size > 0 && GetGlyphOutlineW(dc_, index, format, &metrics, size, buffer.data(),
                                     &identity) == GDI_ERROR) {
      return false;
    }
    out->strokes.clear();
    double x = 0, y = 0;
    auto to = [&](double nx, double ny) {
      out->strokes.back().emplace_back(nx * f.scale, StrokeFont::kBaseline - ny * f.scale);
      x = nx, y = ny;
    };
    const char* at = buffer.data();
    const char* end = at + size;
    while (at + sizeof(TTPOLYGONHEADER) <= end) {
      const auto* header = reinterpret_cast<const TTPOLYGONHEADER*>(at);
      if (header->cb < sizeof(TTPOLYGONHEADER) || header->cb > static_cast<DWORD>(end - at)) break;
      const char* polygonEnd = at + header->cb;
      out->strokes.emplace_back();
      const double startX = fixed(header->pfxStart.x), startY = fixed(header->pfxStart.y);
      to(startX, startY);
      const char* curveAt = at + sizeof(TTPOLYGONHEADER);
      while (curveAt + sizeof(TTPOLYCURVE) - sizeof(POINTFX) <= polygonEnd) {
        const auto* curve = reinterpret_cast<const TTPOLYCURVE*>(curveAt);
        const size_t bytes = sizeof(TTPOLYCURVE) + (curve->cpfx - 1) * sizeof(POINTFX);
        if (curve->cpfx == 0 || curveAt + bytes > polygonEnd) break;
        const POINTFX* p = curve->apfx;
        if (curve->wType == TT_PRIM_LINE) {
          for (WORD k = 0; k < curve->cpfx; ++k) to(fixed(p[k].x), fixed(p[k].y));
        } else if (curve->wType == TT_PRIM_QSPLINE) {
          // B-spline control points: the on-curve points lie midway
          // between two off-curve ones, the last point is on the curve.
          for (WORD k = 0; k + 1 < curve->cpfx; ++k) {
            const double cx = fixed(p[k].x), cy = fixed(p[k].y);
            double ex = fixed(p[k + 1].x), ey = fixed(p[k + 1].y);
            if (k + 2 < curve->cpfx) ex = (cx + ex) / 2, ey = (cy + ey) / 2;
            const double x0 = x, y0 = y;
            for (int j = 1; j <= kConicPieces; ++j) {
              const double t = double(j) / kConicPieces, u = 1 - t;
              to(u * u * x0 + 2 * u * t * cx + t * t * ex,
                 u * u * y0 + 2 * u * t * cy + t * t * ey);
            }
          }
        } else if (curve->wType == TT_PRIM_CSPLINE) {
          for (WORD k = 0; k + 2 < curve->cpfx; k += 3) {
            const double ax = fixed(p[k].x), ay = fixed(p[k].y);
            const double bx = fixed(p[k + 1].x), by = fixed(p[k + 1].y);
            const double ex = fixed(p[k + 2].x), ey = fixed(p[k + 2].y);
            const double x0 = x, y0 = y;
            for (int j = 1; j <= kCubicPieces; ++j) {
              const double t = double(j) / kCubicPieces, u = 1 - t;
              to(u * u * u * x0 + 3 * u * u * t * ax + 3 * u * t * t * bx + t * t * t * ex,
                 u * u * u * y0 + 3 * u * u * t * ay + 3 * u * t * t * by + t * t * t * ey);
            }
          }
        }
        curveAt += bytes;
      }
      to(startX, startY);  // closed
      at = polygonEnd;
    }
    out->left = 0;
    out->right = metrics.gmCellIncX * f.scale;
    return true;
  }

  HDC dc_;
  std::vector<Face> faces_;
};

}  // namespace

StrokeFont::Fallback systemGlyphs() {
  auto fonts = std::make_shared<Fonts>();
  return [fonts](char32_t c, StrokeGlyph* glyph) { return fonts->glyph(c, glyph); };
}

StrokeFont::Fallback trueTypeGlyphs(std::string_view) {
  return {};
}
