// png: a slide drawn as PNG, or every slide of a library.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/env.h"
#include "slb/slide_png.h"

namespace slb {
namespace {

PngBackground pngBackground(const Options& options) {
  if (options.transparent) return PngBackground::kTransparent;
  return options.paper == Paper::kWhite ? PngBackground::kWhite : PngBackground::kBlack;
}

// png --all: a PNG of every slide of a library, into the folder -o names,
// each written whole and named on standard output, in library order, as
// soon as it and those before it are written. A slide that cannot be drawn
// is named on standard error and left out; the others are drawn. Slides are
// drawn and written by a few threads at once: the writes wait for the disk
// (each file is synced), the drawing for the processor.
int drawEveryPng(const Options& options) {
  if (options.rest.size() != 1 || options.output.empty() || options.output == "-") {
    return usageError("png --all takes a library and -o DIR");
  }
  Library library;
  std::string error;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  if (!makeFolders(options.output, &error)) return problem(error);
  // Which entries go out, and as what: the first name of a slide takes it.
  Outgoing outgoing(".png");
  std::vector<std::pair<int, std::string>> going;
  for (int i = 0; i < library.directory.count(); ++i) {
    std::string name = library.name(i);
    if (outgoing.take(name, library.entry(i).offset)) going.emplace_back(i, std::move(name));
  }
  struct Picture {
    bool done = false, written = false;
    std::string error;  // why it was not drawn, or not written
  };
  std::vector<Picture> pictures(going.size());
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;  // guards pictures, named, status and what is printed
  size_t named = 0;
  int status = 0;
  {
    Progress progress(static_cast<int>(going.size()), options.quiet);
    // Names the pictures done, in library order: those in a row from the
    // first not yet named (all that are done, with `past`); mutex held.
    const auto tell = [&](bool past) {
      for (; named < pictures.size() && (past || pictures[named].done); ++named) {
        const Picture& p = pictures[named];
        if (p.written) {
          std::printf("%s\n", shown(options.output + "/" + going[named].second + ".png").c_str());
        } else if (!p.error.empty()) {
          status = progress.say(p.error);
        }
      }
    };
    const auto work = [&] {
      // Each thread reads the folder's names once, not once a picture: what
      // it looks for ignoring case is a name no other picture of the run
      // takes (Outgoing saw to that).
      platform::NameCache names;
      for (size_t k; !stop && (k = next++) < going.size();) {
        const auto& [i, name] = going[k];
        const std::string path = options.output + "/" + name + ".png";
        Picture picture;
        try {
          std::string image, why;
          if (!renderPng(library.slide(i), options.pictureSize(), pngBackground(options), &image,
                         &why)) {
            picture.error = "not drawn: " + name + ": " + why;
          } else if (!writeWhole(path, image, &why)) {
            picture.error = why;
            stop = true;  // a full disk or a folder gone: the rest would fail so
          } else {
            picture.written = true;
          }
        } catch (const std::bad_alloc&) {
          picture.error = "not drawn: " + name + ": out of memory";
        }
        picture.done = true;
        const std::lock_guard<std::mutex> hold(mutex);
        pictures[k] = std::move(picture);
        progress.step();
        tell(false);
      }
    };
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2u, 8u) * 2;
    std::vector<std::thread> workers;
    try {
      for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
    } catch (const std::system_error&) {
      // No more threads to be had: those started, and this one, do it all.
    }
    work();
    for (std::thread& worker : workers) worker.join();
    // After a write that failed, the pictures others were drawing are
    // named too, past the ones never drawn.
    tell(true);
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
