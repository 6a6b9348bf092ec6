// PNG pictures of slides: cairo holds and writes them on Linux, GDI+ on
// Windows.
#pragma once

#include <string>
#include <vector>

#include "slb/slide_render.h"
#include "vetrix/slides/slide_file.h"

// The background of a PNG: the host's black screen, white paper, or none
// (colour 0 then erases to transparency).
enum class PngBackground { kBlack, kWhite, kTransparent };

// Whether this build draws PNG; when it does not, why not in *why (when
// given).
[[nodiscard]] bool pngAvailable(std::string* why = nullptr);

// A PNG of the slide, of the size asked for, drawn as renderSvg draws it:
// one-pixel lines, crisp, colour 0 in the background colour. The slide is
// read and drawn record by record: memory holds the picture and a piece of
// the slide, whatever its length. False with *error when there is no
// picture (no slide, a read that failed, no memory for the picture).
[[nodiscard]] bool renderPng(const SlideSource& slide, const PictureSize& size,
                             PngBackground background, std::string* png, std::string* error);

// A square PNG of `side` pixels showing the first four of `slides` in a
// two-by-two mosaic, each under its name, as a library's thumbnail. A slide
// that cannot be drawn leaves its name in an empty square. False with
// *error when there is no slide, or none of them can be drawn.
[[nodiscard]] bool renderPngMosaic(const std::vector<SheetSlide>& slides, int side,
                                   PngBackground background, std::string* png, std::string* error);
