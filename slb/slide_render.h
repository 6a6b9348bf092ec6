// Pictures of slides: SVG for one slide, and an HTML contact sheet of a
// whole library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vetrix/slides/slide_file.h"

// An SVG picture of a slide on the host's black background: one user unit a
// dot (the lower-left dot at (0, 0) of the slide is the lower-left pixel),
// shown at the slide's aspect ratio, with crisp one-dot lines.
std::string renderSvg(const SlidePicture& picture, std::string_view title);

// The size the picture is shown at, `height` dots high: its width follows
// the aspect ratio.
std::pair<double, double> displaySize(const SlideHeader& header);

struct SheetSlide {
  std::string name;        // UTF-8
  std::string_view bytes;  // the slide as stored
};

// One self-contained HTML page: every slide as a picture with its name, in
// library order, laid out in a grid of equal cells (kSheetColumns a row).
std::string renderSheet(std::string_view title, const std::vector<SheetSlide>& slides);

constexpr int kSheetColumns = 5;
constexpr int kSheetCellWidth = 240;  // CSS pixels of a picture's cell
constexpr int kSheetCellHeight = 180;
