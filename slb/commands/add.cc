// add: slide files added to a library, or replacing its slides of their
// names, in one edit.
#include <cstdio>
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "platform/path.h"
#include "platform/text.h"
#include "vetrix/slides/slide_library.h"

namespace slb {
// Adds slide files to a library (made when missing), each under its file's
// name: a slide of that name is replaced.
int addSlides(Arguments args) {
  if (std::string why; !takeOperands("add", &args, &why)) return usageError(why);
  if (args.size() < 2) return usageError("add takes a library and slides");
  LibraryEdit change;
  change.libraryPath = wide(args[0]);
  std::string error;
  for (size_t k = 1; k < args.size(); ++k) {
    std::string name;
    if (!storedName(utf8(platform::splitPath(wide(args[k])).name), &name, &error)) {
      return problem(error);
    }
    change.add.emplace_back(wide(args[k]), name);
  }
  SlideDirectory directory;
  const SlbResult result = editLibrary(env(), change, directory);
  const std::string subject = utf8(result.subject);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf("%s: %s; %s now\n", shown(args[0]).c_str(),
                  result.created ? "made, slides added" : "slides added",
                  slidesCount(directory.count()).c_str());
      return 0;
    case SlbOutcome::kSlideMissing:
      return problem("cannot read " + subject + "; nothing added");
    case SlbOutcome::kNotASlide:
      return problem(subject + " is not a slide; nothing added");
    case SlbOutcome::kEmptyName:
      return problem(subject + " has an empty name");
    case SlbOutcome::kLibraryTooLarge:
      return problem(args[0] + " would pass 2 GiB; nothing added");
    default:
      return editFailure(args[0], result);
  }
}

}  // namespace slb
