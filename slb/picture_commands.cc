// svg, png and sheet: slides drawn, one at a time or a whole library.
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/path.h"
#include "slb/slide_png.h"
#include "slb/slide_render.h"

namespace slb {
namespace {

// The slide the options name: a slide file, or a library and a name. Open,
// with where its bytes are and its title.
struct NamedSlide {
  std::unique_ptr<platform::File> file;
  uint64_t offset = 0, length = 0;
  std::string title;

  SlideSource source() const { return SlideSource(*file, offset, length); }
};

[[nodiscard]] bool openNamedSlide(const Options& options, NamedSlide* slide, std::string* error) {
  if (options.rest.size() == 1) {
    if (!openSlide(options.rest[0], &slide->file, &slide->length, error)) return false;
    slide->title = utf8(platform::splitPath(wide(options.rest[0])).name);
    return true;
  }
  Library library;
  if (!readLibrary(options.rest[0], &library, error)) return false;
  const int i = findSlide(library, options.rest[1], error);
  if (i < 0) return false;
  slide->offset = static_cast<uint64_t>(library.entry(i).offset);
  slide->length = static_cast<uint64_t>(library.entry(i).size);
  slide->title = library.name(i);
  slide->file = std::move(library.file);
  return true;
}

PngBackground pngBackground(const Options& options) {
  if (options.transparent) return PngBackground::kTransparent;
  return options.paper == Paper::kWhite ? PngBackground::kWhite : PngBackground::kBlack;
}

// png --all: a PNG of every slide of a library, into the folder -o names,
// all or none.
int drawEveryPng(const Options& options) {
  if (options.rest.size() != 1 || options.output.empty() || options.output == "-") {
    return usageError("png --all takes a library and -o DIR");
  }
  Library library;
  std::string error;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  Outgoing outgoing(".png");
  std::vector<OutputFile> pictures;
  for (int i = 0; i < library.directory.count(); ++i) {
    const std::string name = library.name(i);
    if (!outgoing.take(name, library.entry(i).offset)) continue;
    std::string image;
    if (!renderPng(library.slide(i), options.pictureSize(), pngBackground(options), &image,
                   &error)) {
      return problem(name + ": " + error);
    }
    pictures.push_back({options.output + "/" + name + ".png", std::move(image)});
  }
  if (!writeAllOrNothing(options.output, pictures, platform::Replace::kAlways, "no picture written",
                         &error)) {
    return problem(error);
  }
  return outgoing.report("not drawn");
}

}  // namespace

int drawSvg(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("svg takes a slide, or a library and a name");
  }
  NamedSlide slide;
  if (!openNamedSlide(options, &slide, &error)) return problem(error);
  std::string picture;
  const SlideScan scan =
      renderSvg(slide.source(), slide.title, options.pictureSize(), options.paper, &picture);
  if (!scan.cause.ok()) return problem(scan.cause.toString());
  if (!scan.isSlide) return problem(slide.title + ": " + scan.first.what);
  if (!writeOutput(options.output, picture, &error)) return problem(error);
  return 0;
}

int drawPng(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (std::string unavailable; !pngAvailable(&unavailable)) return problem(unavailable);
  if (options.all) return drawEveryPng(options);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("png takes a slide, or a library and a name, or a library and --all");
  }
  NamedSlide slide;
  if (!openNamedSlide(options, &slide, &error)) return problem(error);
  std::string image;
  if (!renderPng(slide.source(), options.pictureSize(), pngBackground(options), &image, &error)) {
    return problem(slide.title + ": " + error);
  }
  if (!writeOutput(options.output, image, &error)) return problem(error);
  return 0;
}

int drawSheet(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.size() != 1) return usageError("sheet takes one library");
  Library library;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  std::vector<SheetSlide> slides;
  for (int i = 0; i < library.directory.count(); ++i) {
    slides.push_back({library.name(i), library.slide(i)});
  }
  const std::string title = utf8(platform::splitPath(wide(options.rest[0])).name);
  SheetOptions sheetOptions;
  sheetOptions.columns = options.columns;
  sheetOptions.cellWidth = options.size;
  sheetOptions.paper = options.paper;
  std::string page;
  const platform::Status drawn = renderSheet(title, slides, sheetOptions, &page);
  if (!drawn.ok()) return problem(drawn.toString());
  if (!writeOutput(options.output, page, &error)) return problem(error);
  return 0;
}

}  // namespace slb
