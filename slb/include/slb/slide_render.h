// Pictures of slides: SVG for one slide, and an HTML contact sheet of a
// whole library. Slides are read record by record as they are drawn.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"
#include "vetrix/slides/slide_file.h"

// The background a slide is drawn on: the host's black screen, white paper
// (where colour 7 draws black), or none (the screen's colours on whatever
// the picture is put on; colour 0 draws nothing).
enum class Paper { kBlack, kWhite, kTransparent };

// A colour index's RGB as drawn on `paper`. Colour 0 is the background
// itself (symbol sets fill masks with it, as sldtoppm draws them). On white
// paper, colour 7 (white on the host's black screen) draws black, and the
// colours made for a black screen that would fade into white are darkened,
// as a plotter's monochrome-friendly pen styles do: yellow (2) to a dark
// gold, green (3) and cyan (4) to half their brightness. Colours 1 to 7
// then stand at least 4:1 against white, as red does, but for magenta (6),
// at 3.1:1 legible as it is. Other colours are as the screen shows them.
uint32_t paperColour(uint8_t index, Paper paper);

// How large a picture is drawn. A slide's header sets only its aspect
// ratio: the dots it claims to have never size a picture.
constexpr int kDefaultPictureSide = 1024;
constexpr int kMaxPictureSide = 16384;
struct PictureSize {
  int width = 0, height = 0;  // pixels; 0: from the other side at the aspect ratio
  int within = 0;             // with neither side: the longer side (0: the default)
  int boxHeight = 0;          // with `within`: the picture fits `within` by this instead
};

// The width and height in pixels of a picture of a slide whose width over
// height is `aspect`: as `asked` says, each side from 1 to kMaxPictureSide.
std::pair<int, int> pictureSize(double aspect, const PictureSize& asked);

// An SVG picture of a slide, into *svg: one user unit a dot (the lower-left
// dot at (0, 0) of the slide is the lower-left pixel), of the size asked
// for, with crisp one-dot lines at any size. Colour 0 is the background.
// The scan says whether it was a slide (*svg is then empty when it was not)
// and whether it could be read.
SlideScan renderSvg(const SlideSource& slide, std::string_view title, const PictureSize& size,
                    Paper paper, std::string* svg);

struct SheetSlide {
  std::string name;  // UTF-8
  SlideSource slide;
};

struct SheetOptions {
  int columns = 0;      // cells a row; 0: as many as the window holds
  int cellWidth = 240;  // CSS pixels of a picture's cell (its height is 3/4 of it)
  Paper paper = Paper::kBlack;
  // Each cell's picture as a small PNG of the cell's size (a click shows it
  // larger), rather than as SVG: a slide of thousands of vectors then costs
  // the page a few kilobytes, and the browser a picture to decode rather
  // than paths to lay out. Null where the build draws no PNG: SVG. False
  // with why in *png.
  bool (*png)(const SlideSource& slide, const PictureSize& size, Paper paper,
              std::string* png) = nullptr;
  // Told of each slide as it is done, and of a slide that could not be read
  // (its cell then says so); may be null.
  std::function<void()> done;
  std::function<void(const std::string& name, const std::string& why)> unreadable;
};

// One self-contained HTML page, into *page: every slide as a picture with
// its name, in library order, in a grid of equal cells, with a box that
// shows only the slides whose names hold what is typed there. Slides are
// read one at a time; one that cannot be read is told to
// options.unreadable, and the rest are drawn. Of
// entries that name one slide of a file (one offset), the first draws it,
// and the others say so.
platform::Status renderSheet(std::string_view title, const std::vector<SheetSlide>& slides,
                             const SheetOptions& options, std::string* page);
