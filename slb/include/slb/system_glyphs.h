// Glyphs of the system's outline fonts for the characters the stroke font
// lacks (Chinese, Japanese, Korean, accented letters): each character from
// a sans-serif font that has it, as fontconfig chooses, its outline read by
// FreeType and drawn as its closed contours, scaled so that the font's
// capital height is the stroke font's.
#pragma once

#include <string_view>

#include "slb/stroke_font.h"

// The fallback; empty where the system has no such fonts (a build without
// fontconfig and FreeType: Windows).
StrokeFont::Fallback systemGlyphs();

// The glyphs of the TrueType font a text style names by its file
// ("DejaVuSans.ttf", "simsun.ttc"), found among the system's fonts by that
// name in any letter case, then the fallback's for characters it lacks;
// empty when the system has no such file (and on Windows, which draws such
// styles in the stroke font).
StrokeFont::Fallback trueTypeGlyphs(std::string_view fontFile);
