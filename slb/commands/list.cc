// list: each slide of a library with its entry and its picture's header.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/escapes.h"
#include "commands.h"
#include "library_reading.h"
#include "platform/text.h"

namespace slb {
namespace {

using cli::jsonString;

// The columns a name takes on a terminal: two for the wide and full-width
// characters of East Asian scripts, one for others.
size_t displayWidth(std::string_view utf8Text) {
  size_t width = 0;
  for (char16_t c : platform::fromUtf8(utf8Text)) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // the second half of a pair
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0xD800 && c <= 0xDBFF);
    width += wide ? 2 : 1;
  }
  return width;
}

// `text` padded with blanks to `columns` display columns.
std::string padded(const std::string& text, size_t columns) {
  const size_t width = displayWidth(text);
  return width >= columns ? text : text + std::string(columns - width, ' ');
}

// Reads a slide's header only.
class HeaderOnly : public SlideVisitor {
 public:
  bool header(const SlideHeader&) override { return false; }
};

// Slide i of a listing as JSON: its entry, and its picture (null when it is
// no slide).
void printJsonSlide(const Library& library, int i, const SlideScan& scan) {
  const SlideHeader& h = scan.header;
  std::string slide = "null";
  if (scan.isSlide) {
    char aspect[32];
    std::snprintf(aspect, sizeof aspect, "%.6g", h.aspect);
    slide = std::string("{\"level\": ") + std::to_string(h.level) +
            ", \"bigEndian\": " + (h.bigEndian ? "true" : "false") +
            ", \"width\": " + std::to_string(h.highX + 1) +
            ", \"height\": " + std::to_string(h.highY + 1) + ", \"aspect\": " + aspect + "}";
  }
  std::printf("%s{\"index\": %d, \"name\": %s, \"offset\": %d, \"size\": %d, \"slide\": %s}",
              i ? ", " : "", i + 1, jsonString(library.name(i)).c_str(), library.entry(i).offset,
              library.entry(i).size, slide.c_str());
}

// Slide i of a listing as a row of its table, the name padded to
// `nameColumns`.
void printSlideRow(const Library& library, int i, const SlideScan& scan, size_t nameColumns) {
  const SlideHeader& h = scan.header;
  std::string format = "not a slide", picture;
  if (scan.isSlide) {
    format = formatOf(h);
    char text[64];
    std::snprintf(text, sizeof text, "%ux%u, aspect %.3f", h.highX + 1, h.highY + 1, h.aspect);
    picture = text;
  }
  std::printf("%4d  %s %10d %9d  %-20s %s\n", i + 1,
              padded(shown(library.name(i)), nameColumns).c_str(), library.entry(i).offset,
              library.entry(i).size, format.c_str(), picture.c_str());
}

}  // namespace

// Each slide of a library, written out as its header is read.
int listSlides(Arguments args) {
  const bool asJson = takeJson(&args);
  if (std::string why; !takeOperands("list", &args, &why)) return usageError(why);
  if (args.size() != 1) return usageError("list takes one library");
  Library library;
  std::string error;
  if (!readLibrary(args[0], &library, &error)) return problem(error);
  const int count = library.directory.count();
  size_t nameColumns = 12;
  if (asJson) {
    std::printf("{\"library\": %s, \"bytes\": %llu, \"slides\": [", jsonString(args[0]).c_str(),
                static_cast<unsigned long long>(library.length()));
  } else {
    for (int i = 0; i < count; ++i) {
      nameColumns = std::max(nameColumns, displayWidth(shown(library.name(i))));
    }
    std::printf("%s: %s, %llu bytes\n", shown(args[0]).c_str(), slidesCount(count).c_str(),
                static_cast<unsigned long long>(library.length()));
    std::printf("%4s  %s %10s %9s  %-20s %s\n", "#", padded("name", nameColumns).c_str(), "offset",
                "size", "format", "picture");
  }
  for (int i = 0; i < count; ++i) {
    HeaderOnly headerOnly;
    const SlideScan scan = scanSlide(library.slide(i), headerOnly);
    if (!scan.cause.ok()) return problem(scan.cause.toString());
    if (asJson) {
      printJsonSlide(library, i, scan);
    } else {
      printSlideRow(library, i, scan, nameColumns);
    }
  }
  if (asJson) std::printf("]}\n");
  return 0;
}

}  // namespace slb
