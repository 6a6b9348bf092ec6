#include "slb/stroke_font.h"

#include <string>

namespace {

constexpr char32_t kFirst = ' ', kLast = '~';

bool digits(std::string_view text, int* value) {
  *value = 0;
  bool any = false;
  for (char c : text) {
    if (c == ' ' && !any) continue;
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + (c - '0');
    any = true;
  }
  return any;
}

}  // namespace

bool StrokeFont::read(std::string_view jhf) {
  glyphs_.clear();
  std::string text;
  for (char c : jhf) {
    if (c != '\n' && c != '\r') text += c;
  }
  size_t at = 0;
  while (glyphs_.size() < kLast - kFirst + 1 && at + 8 <= text.size()) {
    int number = 0, pairs = 0;
    if (!digits(std::string_view(text).substr(at, 5), &number) ||
        !digits(std::string_view(text).substr(at + 5, 3), &pairs) || pairs < 1 ||
        text.size() - at - 8 < static_cast<size_t>(pairs) * 2) {
      return false;
    }
    const char* p = text.data() + at + 8;
    StrokeGlyph glyph;
    glyph.left = p[0] - 'R';
    glyph.right = p[1] - 'R';
    std::vector<std::pair<double, double>> stroke;
    for (int k = 1; k < pairs; ++k) {
      const char x = p[2 * k], y = p[2 * k + 1];
      if (x == ' ' && y == 'R') {
        if (!stroke.empty()) glyph.strokes.push_back(std::move(stroke));
        stroke.clear();
      } else {
        stroke.emplace_back(x - 'R', y - 'R');
      }
    }
    if (!stroke.empty()) glyph.strokes.push_back(std::move(stroke));
    glyphs_.push_back(std::move(glyph));
    at += 8 + static_cast<size_t>(pairs) * 2;
  }
  return glyphs_.size() == kLast - kFirst + 1;
}

StrokeFont StrokeFont::outlines(Fallback glyphs) {
  StrokeFont font;
  font.filled_ = true;
  font.fallback_ = std::move(glyphs);
  return font;
}

const StrokeGlyph* StrokeFont::fromFallback(char32_t c) const {
  if (!fallback_) return nullptr;
  auto found = fallbackGlyphs_.find(c);
  if (found == fallbackGlyphs_.end()) {
    StrokeGlyph glyph;
    std::optional<StrokeGlyph> kept;
    if (fallback_(c, &glyph)) kept = std::move(glyph);
    found = fallbackGlyphs_.emplace(c, std::move(kept)).first;
  }
  return found->second ? &*found->second : nullptr;
}

const StrokeGlyph& StrokeFont::glyph(char32_t c) const {
  if (filled_) {
    // Every glyph from the outlines; '?' for one they lack, else nothing.
    static const StrokeGlyph kNone;
    const StrokeGlyph* glyph = fromFallback(c);
    if (!glyph) glyph = fromFallback('?');
    return glyph ? *glyph : kNone;
  }
  if (c >= kFirst && c <= kLast) return glyphs_[c - kFirst];
  if (const StrokeGlyph* glyph = fromFallback(c)) return *glyph;
  return glyphs_['?' - kFirst];
}
