// rename: a slide of a library given a new name, in one edit.
#include <cstdio>
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "platform/text.h"
#include "vetrix/slides/slide_library.h"

namespace slb {
// Gives the first slide of a name a new one, stored as slb add stores
// names: ASCII letters upper case.
int renameSlide(Arguments args) {
  if (std::string why; !takeOperands("rename", &args, &why)) return usageError(why);
  if (args.size() != 3) return usageError("rename takes a library, a slide's name and a new name");
  LibraryEdit change;
  change.libraryPath = wide(args[0]);
  std::string error;
  if (!storedName(args[1], &change.renameFrom, &error)) return problem(error);
  if (!storedName(args[2], &change.renameTo, &error)) return problem(error);
  SlideDirectory directory;
  const SlbResult result = editLibrary(env(), change, directory);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf("%s\n", shown(args[0] + ": " + args[1] + " is now " +
                                utf8(platform::fromAnsi(change.renameTo)))
                              .c_str());
      return 0;
    case SlbOutcome::kSlideNotFound:
      return problem("no slide \"" + args[1] + "\" in " + args[0] + "; nothing renamed");
    case SlbOutcome::kNameTaken:
      return problem(args[0] + " already has a slide \"" + args[2] + "\"; nothing renamed");
    case SlbOutcome::kLibraryUnopened:
      return problem("cannot open " + args[0] + ": " + result.cause.toString());
    default:
      return editFailure(args[0], result);
  }
}

}  // namespace slb
