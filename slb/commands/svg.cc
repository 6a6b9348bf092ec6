// svg: a slide drawn as SVG.
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "slb/slide_render.h"

namespace slb {
int drawSvg(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("svg takes a slide, or a library and a name");
  }
  NamedSlide slide;
  if (!openNamedSlide(options.rest, "svg", &slide, &error)) return problem(error);
  std::string picture;
  const SlideScan scan =
      renderSvg(slide.source(), slide.title, options.pictureSize(), options.paper, &picture);
  if (!scan.cause.ok()) return problem(scan.cause.toString());
  if (!scan.isSlide) return problem(slide.title + ": " + scan.first.what);
  if (!writeOutput(options.output, picture, &error)) return problem(error);
  return 0;
}

}  // namespace slb
