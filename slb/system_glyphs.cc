#include "slb/system_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Curves are cut into this many lines: a glyph is a few dozen dots tall on
// a slide.
constexpr int kConicPieces = 8, kCubicPieces = 12;

struct Face {
  FT_Face face = nullptr;
  double scale = 1;  // font units to the stroke font's
};

class Fonts {
 public:
  Fonts() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  // Glyphs come first from the font in `path`: false when it is no font.
  bool prefer(const std::string& path, int index) {
    tried_.emplace(path, index);
    return library_ && add(path, index) != nullptr;
  }
  ~Fonts() {
    if (sorted_) FcFontSetDestroy(sorted_);
    for (Face& f : faces_) FT_Done_Face(f.face);
    if (library_) FT_Done_FreeType(library_);
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  bool glyph(char32_t c, StrokeGlyph* out) {
    if (!library_) return false;
    // A font already open that has the character keeps a drawing's text in
    // one face, and spares asking fontconfig for each character.
    for (const Face& f : faces_) {
      if (const FT_UInt index = FT_Get_Char_Index(f.face, c); index != 0) {
        return outline(f, index, out);
      }
    }
    const Face* f = open(c);
    if (!f) return false;
    const FT_UInt index = FT_Get_Char_Index(f->face, c);
    return index != 0 && outline(*f, index, out);
  }

 private:
  // A face for `c` from the sans-serif fonts in fontconfig's order of
  // preference, which is asked for once: each character after that costs
  // a look at their character sets, however many a drawing holds.
  const Face* open(char32_t c) {
    if (!sortAsked_) {
      sortAsked_ = true;
      FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
      if (pattern) {
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        sorted_ = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
        FcPatternDestroy(pattern);
      }
    }
    for (int k = 0; sorted_ && k < sorted_->nfont; ++k) {
      FcPattern* font = sorted_->fonts[k];
      FcCharSet* has = nullptr;
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetCharSet(font, FC_CHARSET, 0, &has) != FcResultMatch ||
          !FcCharSetHasChar(has, c) ||
          FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) {
        continue;
      }
      if (FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
      // Each font is opened once: one already open lacked the character.
      if (!tried_.emplace(reinterpret_cast<const char*>(file), index).second) continue;
      if (const Face* f = add(reinterpret_cast<const char*>(file), index)) return f;
    }
    return nullptr;
  }

  const Face* add(const std::string& path, int index) {
    Face f;
    if (FT_New_Face(library_, path.c_str(), index, &f.face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(f.face)) {
      FT_Done_Face(f.face);
      return nullptr;
    }
    f.scale = StrokeFont::kCapHeight / capHeight(f.face);
    faces_.push_back(f);
    return &faces_.back();
  }

  // The height of the font's capitals in its units: as its OS/2 table says,
  // else the top of its H, else seven tenths of its em.
  static double capHeight(FT_Face face) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->version >= 2 && os2->sCapHeight > 0) {
      return os2->sCapHeight;
    }
    const FT_UInt h = FT_Get_Char_Index(face, 'H');
    if (h != 0 && FT_Load_Glyph(face, h, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) == 0) {
      FT_BBox box;
      FT_Outline_Get_CBox(&face->glyph->outline, &box);
      if (box.yMax > 0) return static_cast<double>(box.yMax);
    }
    return face->units_per_EM * 0.7;
  }

  // The glyph's contours as closed runs of points, in the stroke font's
  // coordinates (Y down from kBaseline above the baseline).
  static bool outline(const Face& f, FT_UInt index, StrokeGlyph* out) {
    if (FT_Load_Glyph(f.face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) !=
            0 ||
        f.face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
      return false;
    }
    struct Walk {
      double scale;
      StrokeGlyph* glyph;
      double x = 0, y = 0;  // the pen, in font units
      void to(double nx, double ny) {
        glyph->strokes.back().emplace_back(nx * scale, StrokeFont::kBaseline - ny * scale);
        x = nx, y = ny;
      }
    } walk{f.scale, out};
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector* p, void* user) {
      auto* w = static_cast<Walk*>(user);
      w->glyph->strokes.emplace_back();
      w->to(p->x, p->y);
      return 0;
    };
    funcs.line_to = [](const FT_Vector* p, void* user) {
      static_cast<Walk*>(user)->to(p->x, p->y);
      return 0;
    };
    funcs.conic_to = [](const FT_Vector* c, const FT_Vector* p, void* user) {
      auto* w = static_cast<Walk*>(user);
      const double x0 = w->x, y0 = w->y;
      for (int k = 1; k <= kConicPieces; ++k) {
        const double t = double(k) / kConicPieces, u = 1 - t;
        w->to(u * u * x0 + 2 * u * t * c->x + t * t * p->x,
              u * u * y0 + 2 * u * t * c->y + t * t * p->y);
      }
      return 0;
    };
    funcs.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* p, void* user) {
      auto* w = static_cast<Walk*>(user);
      const double x0 = w->x, y0 = w->y;
      for (int k = 1; k <= kCubicPieces; ++k) {
        const double t = double(k) / kCubicPieces, u = 1 - t;
        w->to(u * u * u * x0 + 3 * u * u * t * c1->x + 3 * u * t * t * c2->x + t * t * t * p->x,
              u * u * u * y0 + 3 * u * u * t * c1->y + 3 * u * t * t * c2->y + t * t * t * p->y);
      }
      return 0;
    };
    out->strokes.clear();
    if (FT_Outline_Decompose(&f.face->glyph->outline, &funcs, &walk) != 0) return false;
    for (auto& contour : out->strokes) {
      if (contour.size() > 1 && contour.front() != contour.back())
        contour.push_back(contour.front());
    }
    out->left = 0;
    out->right = f.face->glyph->metrics.horiAdvance * f.scale;
    return true;
  }

  FT_Library library_ = nullptr;
  std::vector<Face> faces_;
  bool sortAsked_ = false;
  FcFontSet* sorted_ = nullptr;
  std::set<std::pair<std::string, int>> tried_;  // fonts opened, or that failed to open
};

}  // namespace

StrokeFont::Fallback systemGlyphs() {
  auto fonts = std::make_shared<Fonts>();
  return [fonts](char32_t c, StrokeGlyph* glyph) { return fonts->glyph(c, glyph); };
}

StrokeFont::Fallback trueTypeGlyphs(std::string_view fontFile) {
  // The file's name alone, in lower case: styles name fonts as Windows
  // keeps them ("arial.ttf", or a path to one).
  auto key = [](std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    std::string base(slash == std::string_view::npos ? name : name.substr(slash + 1));
    for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return base;
  };
  const std::string wanted = key(fontFile);
  if (wanted.empty()) return {};
  std::string path;
  int index = 0;
  FcPattern* all = FcPatternCreate();
  FcObjectSet* fields = FcObjectSetBuild(FC_FILE, FC_INDEX, static_cast<char*>(nullptr));
  FcFontSet* fonts = all && fields ? FcFontList(nullptr, all, fields) : nullptr;
  for (int k = 0; fonts && k < fonts->nfont && path.empty(); ++k) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(fonts->fonts[k], FC_FILE, 0, &file) == FcResultMatch &&
        key(reinterpret_cast<const char*>(file)) == wanted) {
      path = reinterpret_cast<const char*>(file);
      if (FcPatternGetInteger(fonts->fonts[k], FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    }
  }
  if (fonts) FcFontSetDestroy(fonts);
  if (fields) FcObjectSetDestroy(fields);
  if (all) FcPatternDestroy(all);
  if (path.empty()) return {};
  auto glyphs = std::make_shared<Fonts>();
  if (!glyphs->prefer(path, index)) return {};
  return [glyphs](char32_t c, StrokeGlyph* glyph) { return glyphs->glyph(c, glyph); };
}
