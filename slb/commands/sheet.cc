// sheet: every slide of a library drawn on one HTML page.
#include <string>
#include <vector>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/path.h"
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
