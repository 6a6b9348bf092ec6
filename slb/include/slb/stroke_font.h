// A stroke font: the Hershey fonts in James Hurt's .jhf form, as Debian's
// hershey-fonts-data holds them (/usr/share/hershey-fonts/futural.jhf).
//
// Each glyph is a record: a 5-character number, a 3-character count of
// coordinate pairs, then the pairs, each two characters whose distance
// from 'R' is the coordinate (Y grows downwards). The first pair is the
// glyph's left and right edge; " R" lifts the pen. Records may run over
// several lines. The glyphs of ' ' to '~' stand in that order.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

struct StrokeGlyph {
  double left = 0, right = 0;
  std::vector<std::vector<std::pair<double, double>>> strokes;  // each a run of points
};

class StrokeFont {
 public:
  // The font's units from the baseline to the top of a capital, and the
  // baseline's Y in the glyphs' own coordinates.
  static constexpr int kCapHeight = 21;
  static constexpr int kBaseline = 9;

  // Reads the glyphs of ' ' to '~' from the text of a .jhf file; false
  // when it holds fewer, or a record that is cut short or out of range.
  bool read(std::string_view jhf);
  // Where the glyphs of characters past '~' come from (Chinese, accented
  // letters), in the font's units: false for a character it lacks.
  using Fallback = std::function<bool(char32_t c, StrokeGlyph* glyph)>;
  void setFallback(Fallback fallback) { fallback_ = std::move(fallback); }
  // The glyph of a character; '?' for one neither the font nor its
  // fallback has.
  const StrokeGlyph& glyph(char32_t c) const;

  // A TrueType font's glyphs, every one from `glyphs`: their contours are
  // outlines to fill, as a host fills TrueType text.
  static StrokeFont outlines(Fallback glyphs);
  bool filled() const { return filled_; }

 private:
  const StrokeGlyph* fromFallback(char32_t c) const;
  std::vector<StrokeGlyph> glyphs_;
  bool filled_ = false;
  Fallback fallback_;
  mutable std::map<char32_t, std::optional<StrokeGlyph>> fallbackGlyphs_;
};
