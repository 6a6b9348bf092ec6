// PNG pictures of slides, drawn with cairo where the build has it.
#pragma once

#include <string>

#include "slb/slide_render.h"
#include "vetrix/slides/slide_file.h"

// The background of a PNG: the host's black screen, white paper, or none
// (colour 0 then erases to transparency).
enum class PngBackground { kBlack, kWhite, kTransparent };

// Whether this build draws PNG.
bool pngAvailable();

// A PNG of the slide `width` by `height` pixels (0: the slide's own size at
// its aspect ratio, or the other side's scale), drawn as renderSvg draws it:
// one-pixel lines, crisp, colour 0 in the background colour. False with
// *error when the picture cannot be made.
bool renderPng(const SlidePicture& picture, int width, int height, PngBackground background,
               std::string* png, std::string* error);
