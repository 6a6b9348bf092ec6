// dump: a slide as text, a line for each record, which make turns back
// into the same bytes.
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "vetrix/slides/slide_text.h"

namespace slb {
int dumpSlide(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("dump takes a slide, or a library and a name");
  }
  NamedSlide slide;
  if (!openNamedSlide(options.rest, "dump", &slide, &error)) return problem(error);
  const SlideText text = slideToText(slide.source());
  if (!text.cause.ok()) return problem(text.cause.toString());
  if (!text.isSlide) return problem(options.rest[0] + ": " + text.refused.what);
  if (!text.refused.what.empty()) {
    // Where check would say it: the offset in the file, and the slide's
    // name in a library.
    return problem(options.rest[0] + ":" + std::to_string(slide.offset + text.refused.offset) +
                   ": " + (options.rest.size() == 2 ? "slide " + slide.title + ": " : "") +
                   text.refused.what + "; no text would make it again");
  }
  if (!writeOutput(options.output, text.text, &error)) return problem(error);
  return 0;
}

}  // namespace slb
