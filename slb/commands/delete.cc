// delete: slides taken out of a library, in one edit.
#include <algorithm>
#include <cstdio>
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "platform/text.h"
#include "vetrix/slides/slide_library.h"

namespace slb {
// Deletes the first slide of each name; a name given twice deletes one.
int deleteSlides(Arguments args) {
  if (std::string why; !takeOperands("delete", &args, &why)) return usageError(why);
  if (args.size() < 2) return usageError("delete takes a library and names");
  LibraryEdit change;
  change.libraryPath = wide(args[0]);
  std::string error;
  for (size_t k = 1; k < args.size(); ++k) {
    std::string name;
    if (!storedName(args[k], &name, &error)) return problem(error);
    if (std::none_of(change.remove.begin(), change.remove.end(), [&](const std::string& n) {
          return platform::compareIgnoringCase(n, name) == 0;
        })) {
      change.remove.push_back(name);
    }
  }
  SlideDirectory directory;
  const SlbResult result = editLibrary(env(), change, directory);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf("%s: slides deleted; %s now\n", shown(args[0]).c_str(),
                  slidesCount(directory.count()).c_str());
      return 0;
    case SlbOutcome::kSlideNotFound:
      return problem("no slide \"" + utf8(result.subject) + "\" in " + args[0] +
                     "; nothing deleted");
    default:
      return editFailure(args[0], result);
  }
}

}  // namespace slb
