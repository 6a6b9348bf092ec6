// png: a slide drawn as PNG, or every slide of a library.
#include <cstdio>
#include <string>

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
