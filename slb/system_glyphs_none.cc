// A build without the system's outline fonts: characters the stroke font
// lacks are drawn as '?'.
#include "slb/system_glyphs.h"

StrokeFont::Fallback systemGlyphs() {
  return {};
}

StrokeFont::Fallback trueTypeGlyphs(std::string_view) {
  return {};
}
