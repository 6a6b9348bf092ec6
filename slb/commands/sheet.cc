// sheet: every slide of a library drawn on one HTML page.
#include <string>
#include <vector>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/path.h"
#include "slb/slide_png.h"
#include "slb/slide_render.h"

namespace slb {
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
  if (pngAvailable()) {
    sheetOptions.png = [](const SlideSource& slide, const PictureSize& size, Paper paper,
                          std::string* png) {
      std::string why;
      if (renderPng(slide, size,
                    paper == Paper::kWhite ? PngBackground::kWhite : PngBackground::kBlack, png,
                    &why)) {
        return true;
      }
      *png = why;
      return false;
    };
  }
  int status = 0;
  Progress progress(static_cast<int>(slides.size()), options.quiet);
  sheetOptions.done = [&] { progress.step(); };
  sheetOptions.unreadable = [&](const std::string& name, const std::string& why) {
    status = progress.say("not drawn: " + name + ": " + why);
  };
  sheetOptions.columns = options.columns;
  sheetOptions.cellWidth = options.size;
  sheetOptions.paper = options.paper;
  std::string page;
  const platform::Status drawn = renderSheet(title, slides, sheetOptions, &page);
  if (!drawn.ok()) return problem(drawn.toString());
  if (!writeOutput(options.output, page, &error)) return progress.say(error);
  return status;
}

}  // namespace slb
