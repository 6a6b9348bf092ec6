// png: a slide drawn as PNG, or every slide of a library.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "slb/slide_png.h"

namespace slb {
namespace {

PngBackground pngBackground(const Options& options) {
  if (options.transparent) return PngBackground::kTransparent;
  return options.paper == Paper::kWhite ? PngBackground::kWhite : PngBackground::kBlack;
}

// png --all: a PNG of every slide of a library, into the folder -o names,
// each written whole and named on standard output as soon as it is drawn.
// A slide that cannot be drawn is named on standard error and left out;
// the others are drawn.
int drawEveryPng(const Options& options) {
  if (options.rest.size() != 1 || options.output.empty() || options.output == "-") {
    return usageError("png --all takes a library and -o DIR");
  }
  Library library;
  std::string error;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  if (!makeFolders(options.output, &error)) return problem(error);
  Outgoing outgoing(".png");
  int status = 0;
  {
    Progress progress(library.directory.count(), options.quiet);
    for (int i = 0; i < library.directory.count(); ++i, progress.step()) {
      const std::string name = library.name(i);
      if (!outgoing.take(name, library.entry(i).offset)) continue;
      std::string image;
      if (!renderPng(library.slide(i), options.pictureSize(), pngBackground(options), &image,
                     &error)) {
        status = progress.say("not drawn: " + name + ": " + error);
        continue;
      }
      const std::string path = options.output + "/" + name + ".png";
      if (!writeWhole(path, image, &error)) {
        // A full disk or a folder taken away: the rest would fail as this
        // did. The files named so far are written, each whole.
        return progress.say(error);
      }
      std::printf("%s\n", shown(path).c_str());
    }
  }  // the count is cleared before the names left out
  const int refused = outgoing.report("not drawn");
  return status != 0 ? status : refused;
}

// png LIB: the first four slides of a library in a square, each under its
// name, as large as --size (or --width, --height) asks.
int drawLibraryThumbnail(const Options& options) {
  Library library;
  std::string error;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  std::vector<SheetSlide> slides;
  for (int i = 0; i < std::min(4, library.directory.count()); ++i) {
    slides.push_back({library.name(i), library.slide(i)});
  }
  const auto [width, height] = pictureSize(1, options.pictureSize());
  std::string image;
  if (!renderPngMosaic(slides, std::max(width, height), pngBackground(options), &image, &error)) {
    return problem(options.rest[0] + ": " + error);
  }
  if (!writeOutput(options.output, image, &error)) return problem(error);
  return 0;
}

}  // namespace

int drawPng(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (!options.all && options.output.empty() && cli::standardOutputIsTerminal()) {
    return usageError("png writes no picture to a terminal; give -o FILE, or -o - to insist");
  }
  if (std::string unavailable; !pngAvailable(&unavailable)) return problem(unavailable);
  if (options.all) return drawEveryPng(options);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("png takes a slide, or a library and a name, or a library and --all");
  }
  if (options.rest.size() == 1) {
    // A library alone: its thumbnail, the first four slides with their names.
    std::unique_ptr<platform::File> file;
    uint64_t length = 0;
    if (!openRead(options.rest[0], &file, &length, &error)) return problem(error);
    if (isLibraryFile(*file)) return drawLibraryThumbnail(options);
  }
  NamedSlide slide;
  if (!openNamedSlide(options.rest, "png", &slide, &error)) return problem(error);
  std::string image;
  if (!renderPng(slide.source(), options.pictureSize(), pngBackground(options), &image, &error)) {
    return problem(slide.title + ": " + error);
  }
  if (!writeOutput(options.output, image, &error)) return problem(error);
  return 0;
}

}  // namespace slb
