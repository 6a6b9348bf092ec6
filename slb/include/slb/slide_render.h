// Pictures of slides: SVG for one slide, and an HTML contact sheet of a
// whole library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vetrix/slides/slide_file.h"

// The background a slide is drawn on: the host's black screen, or white
// paper (where colour 7 draws black).
enum class Paper { kBlack, kWhite };

// An SVG picture of a slide: one user unit a dot (the lower-left dot at
// (0, 0) of the slide is the lower-left pixel), shown at the slide's aspect
// ratio, with crisp one-dot lines at any size. Colour 0 is the background.
std::string renderSvg(const SlidePicture& picture, std::string_view title,
                      Paper paper = Paper::kBlack);

// The size the picture is shown at, `height` dots high: its width follows
// the aspect ratio.
std::pair<double, double> displaySize(const SlideHeader& header);

struct SheetSlide {
  std::string name;        // UTF-8
  std::string_view bytes;  // the slide as stored
};

struct SheetOptions {
  int columns = 0;      // cells a row; 0: as many as the window holds
  int cellWidth = 240;  // CSS pixels of a picture's cell (its height is 3/4 of it)
  Paper paper = Paper::kBlack;
};

// One self-contained HTML page: every slide as a picture with its name, in
// library order, in a grid of equal cells, with a box that shows only the
// slides whose names hold what is typed there.
std::string renderSheet(std::string_view title, const std::vector<SheetSlide>& slides,
                        const SheetOptions& options = {});
