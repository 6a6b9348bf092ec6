// make: a slide from the text dump writes.
#include <memory>
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "vetrix/slides/slide_text.h"

namespace slb {
int makeSlide(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.size() != 1) return usageError("make takes one text");
  if (options.output.empty()) return usageError("make needs -o OUT.sld (-o - for standard output)");
  const std::string& path = options.rest[0];
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  // A text holds no fewer bytes than the slide it makes.
  if (!openSlide(path, &file, &length, &error)) return problem(error);
  std::string text(static_cast<size_t>(length), '\0');
  if (const platform::Status read = platform::readExactly(*file, 0, text.data(), text.size());
      !read.ok()) {
    return problem(read.toString());
  }
  std::string slide;
  SlideTextFault fault;
  if (!slideFromText(text, &slide, &fault)) {
    return problem(path + ":" + std::to_string(fault.line) + ": " + fault.what +
                   "; nothing written");
  }
  if (!writeOutput(options.output, slide, &error)) return problem(error);
  return 0;
}

}  // namespace slb
