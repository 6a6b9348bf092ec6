// info: one slide file's header, size and records by kind.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "library_reading.h"

namespace slb {
// One slide file: its header, size and records by kind.
int describeSlide(Arguments args) {
  if (std::string why; !takeOperands("info", &args, &why)) return usageError(why);
  if (args.size() != 1) return usageError("info takes one slide");
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openSlide(args[0], &file, &length, &error)) return problem(error);
  if (isLibraryFile(*file)) {
    return problem(args[0] + ": not a slide: this is a slide library; use `slb list LIB`");
  }
  SlideVisitor counter;  // the scan counts records and problems
  const SlideScan scan = scanSlide(SlideSource(*file, 0, length), counter);
  if (!scan.cause.ok()) return problem(scan.cause.toString());
  if (!scan.isSlide) return problem(args[0] + ": " + scan.first.what);
  const SlideHeader& h = scan.header;
  const SlideRecordCounts& r = scan.records;
  std::printf("%s: a slide, %llu bytes\n", shown(args[0]).c_str(),
              static_cast<unsigned long long>(length));
  std::printf("format    %s (level %d)\n", formatOf(h).c_str(), h.level);
  std::printf("picture   %u x %u dots, aspect %.4f, fill type %u\n", h.highX + 1, h.highY + 1,
              h.aspect, h.fillType);
  std::printf(
      "records   %zu vectors, %zu offset vectors, %zu vectors from the last point,\n"
      "          %zu fill vertices (%zu solid fills), %zu colour changes\n",
      r.vectors, r.offsetVectors, r.endpointVectors, r.fillVertices, r.fills, r.colours);
  std::printf("problems  %zu%s\n", scan.problems,
              scan.problems == 0 ? "" : " (slb check lists them)");
  return 0;
}

}  // namespace slb
