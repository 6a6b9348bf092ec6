// add, delete and rename: a library changed in one edit, all or nothing,
// by the engine Slbedit edits with.
#include <algorithm>
#include <cstdio>
#include <string>

#include "commands.h"
#include "library_reading.h"
#include "platform/path.h"
#include "platform/text.h"
#include "vetrix/slides/slide_library.h"

namespace slb {
namespace {

// What every edit says when the library was not a library, or was not
// changed, or was changed but not as safely as it should have been.
int editFailure(const std::string& library, const SlbResult& result) {
  switch (result.outcome) {
    case SlbOutcome::kNotALibrary:
      if (!result.fault.reason) return problem(library + ": " + result.cause.toString());
      return problem(library + ": not a slide library (" + result.fault.reason + ")");
    case SlbOutcome::kDamaged:
      return problem(library + " was not fully written; the new library is kept in " +
                     utf8(result.keptPath));
    case SlbOutcome::kNotSynced:
      return problem(library +
                     " was changed, but may not survive a power loss: " + result.cause.toString());
    case SlbOutcome::kJournalKept:
      return problem(library + " was changed, but its journal " + utf8(result.keptPath) +
                     " could not be removed: " + result.cause.toString());
    default:
      return problem(library + " not changed: " + result.cause.toString());
  }
}

}  // namespace

// Adds slide files to a library (made when missing), each under its file's
// name: a slide of that name is replaced.
int addSlides(Arguments args) {
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

// Deletes the first slide of each name; a name given twice deletes one.
int deleteSlides(Arguments args) {
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

// Gives the first slide of a name a new one, stored as slb add stores
// names: ASCII letters upper case.
int renameSlide(Arguments args) {
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
