// make: a slide from the text dump writes, or from a DXF drawing.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "slb/dxf_reader.h"
#include "slb/dxf_slide.h"
#include "slb/stroke_font.h"
#include "vetrix/slides/slide_text.h"

namespace slb {
namespace {

// "X1,Y1,X2,Y2": four numbers, the corners of a window.
bool readWindow(const std::string& text, DxfView* view) {
  double corners[4];
  size_t at = 0;
  for (int k = 0; k < 4; ++k) {
    const size_t comma = k < 3 ? text.find(',', at) : text.size();
    if (comma == std::string::npos ||
        !dxfNumber(std::string_view(text).substr(at, comma - at), &corners[k])) {
      return false;
    }
    at = comma + 1;
  }
  view->window = true;
  view->x1 = corners[0], view->y1 = corners[1], view->x2 = corners[2], view->y2 = corners[3];
  return view->x1 != view->x2 && view->y1 != view->y2;
}

// The stroke font TEXT and MTEXT are drawn in: false when it is not there
// (or is no font).
bool loadFont(StrokeFont* font) {
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openSlide(ZC_STROKE_FONT, &file, &length, &error) || length > (uint64_t{1} << 20)) {
    return false;
  }
  std::string text(static_cast<size_t>(length), '\0');
  return platform::readExactly(*file, 0, text.data(), text.size()).ok() && font->read(text);
}

// The slide of a drawing; the exit status.
int makeFromDrawing(const std::string& path, std::string bytes, const Options& options) {
  DxfView view;
  if (!options.window.empty() && !readWindow(options.window, &view)) {
    return usageError("--window needs X1,Y1,X2,Y2: two corners of a window with an area");
  }
  if (options.width > 0) view.width = options.width;
  if (options.height > 0) view.height = options.height;
  auto drawing = std::make_unique<DxfDrawing>();
  DxfFault fault;
  if (!readDxf(std::move(bytes), drawing.get(), &fault)) {
    return problem(path + ":" + std::to_string(fault.line) + ": " + fault.what +
                   "; nothing written");
  }
  StrokeFont font;
  const bool haveFont = loadFont(&font);
  if (haveFont) view.font = &font;
  const DxfSlideResult made = dxfToSlide(*drawing, view);
  if (!made.ok) {
    return problem(path + (made.fault.line > 0 ? ":" + std::to_string(made.fault.line) : "") +
                   ": " + made.fault.what + "; nothing written");
  }
  if (!made.skipped.empty()) {
    std::string list;
    for (const auto& [type, count] : made.skipped) {
      list += (list.empty() ? "" : ", ") + std::to_string(count) + " " + type;
    }
    if (!haveFont && (made.skipped.count("TEXT") || made.skipped.count("MTEXT"))) {
      list += " (text needs the stroke font " + std::string(ZC_STROKE_FONT) + ")";
    }
    if (!options.lenient) {
      return problem("skipped: " + list +
                     "; nothing written (--lenient writes the slide without them)");
    }
    std::fprintf(stderr, "slb: skipped: %s\n", shown(list).c_str());
  }
  std::string error;
  if (!writeOutput(options.output, made.slide, &error)) return problem(error);
  return 0;
}

}  // namespace

int makeSlide(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.size() != 1) return usageError("make takes one text");
  if (options.output.empty()) return usageError("make needs -o OUT.sld (-o - for standard output)");
  const std::string& path = options.rest[0];
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  // A text holds no fewer bytes than the slide it makes.
  if (!openSlide(path, &file, &length, &error)) return problem(error);
  std::string text(static_cast<size_t>(length), '\0');
  if (const platform::Status read = platform::readExactly(*file, 0, text.data(), text.size());
      !read.ok()) {
    return problem(read.toString());
  }
  if (looksLikeDxf(text)) return makeFromDrawing(path, std::move(text), options);
  std::string slide;
  SlideTextFault fault;
  if (!slideFromText(text, &slide, &fault)) {
    return problem(path + ":" + std::to_string(fault.line) + ": " + fault.what +
                   "; nothing written");
  }
  if (!writeOutput(options.output, slide, &error)) return problem(error);
  return 0;
}

}  // namespace slb
