// png: a slide drawn as PNG, or every slide of a library.
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
  NamedSlide slide;
  if (!openNamedSlide(options.rest, &slide, &error)) return problem(error);
  std::string image;
  if (!renderPng(slide.source(), options.pictureSize(), pngBackground(options), &image, &error)) {
    return problem(slide.title + ": " + error);
  }
  if (!writeOutput(options.output, image, &error)) return problem(error);
  return 0;
}

}  // namespace slb
