#include "vetrix/slides/slbedit.h"

#include "frame/frame.h"
#include "platform/path.h"
#include "platform/text.h"
#include "vetrix/handler_env.h"
#include "vetrix/slides/slide_library.h"

namespace {

constexpr int kNamesPerLine = 8;

// The directory of the library last read, kept for the life of the module.
SlideDirectory& slideDirectory() {
  static SlideDirectory directory;
  return directory;
}

int printUsage() {
  static const char16_t* const kUsage[] = {
      u"\n SLBEDIT - slide library editor for AutoCAD slide libraries",
      u"\n",
      u"\n Lists, adds and deletes the slides of a library",
      u"\n -----------------------------------------------------",
      u"\n",
      u"\n Usage : SLBEDIT <command> <*.slb> <*.sld>",
      u"\n",
      u"\n <Commands>",
      u"\n  l: list all slide in Library",
      u"\n  a: add a slide file to Library",
      u"\n  d: delete a slide file from Library",
  };
  for (const char16_t* line : kUsage) zcutPrintf(line);
  return 1;
}

// Builds the request from the argument list; false for a list to refuse.
bool readArguments(const ResultBuffer* args, SlbRequest* request) {
  if (!isString(args)) return false;
  const std::u16string_view command = argText(args);
  if (command.size() > 1) return false;
  const ResultBuffer* library = args->rbnext;
  if (!library) return false;
  std::u16string_view slide;
  switch (command.empty() ? u'\0' : command[0]) {
    case u'L':
    case u'l':
      if (!isString(library)) return false;
      break;
    case u'A':
    case u'a':
    case u'D':
    case u'd':
      if (!isString(library) || !isString(library->rbnext)) return false;
      slide = argText(library->rbnext);
      break;
    default:
      if (!command.empty()) printUsage();
      return false;
  }
  *request = makeSlbRequest(command[0], argText(library), slide);
  return true;
}

void listSlides(const SlideDirectory& directory) {
  zcutPrintf(u"\n< List sld file > :\n");
  for (int i = 0; i < directory.count(); ++i) {
    const std::u16string name = platform::fromAnsi(directory.entries[i].nameView());
    zcutPrintf(u"%-10s", name.c_str());
    if ((i + 1) % kNamesPerLine == 0) zcutPrintf(u"\n");
  }
}

}  // namespace

int reportSlbedit(const SlbRequest& request, const SlbResult& result,
                  const SlideDirectory& directory) {
  const char16_t* library = request.libraryPath.c_str();
  const char16_t* slide = request.slideFile.c_str();
  if (result.created) zcutPrintf(u"\nMake New SLB File: %s", library);
  int status = kRtError;
  switch (result.outcome) {
    case SlbOutcome::kDone:
      // A new library is announced already; an existing one is listed or
      // its add confirmed.
      if (!result.created && (request.command == u'l' || request.command == u'L')) {
        listSlides(directory);
      }
      if (!result.created && (request.command == u'a' || request.command == u'A')) {
        zcutPrintf(u"\nSLBEDIT ADD SLB SUCCESS !");
      }
      status = 1;
      break;
    case SlbOutcome::kSlideNotFound:
      zcutPrintf(u"\nNot found SLD:%s", slide);
      return 1;
    case SlbOutcome::kLibraryNotCreated:
      zcutPrintf(u"\nFile not exist:%s", library);
      break;
    case SlbOutcome::kNotALibrary:
      zcutPrintf(u"\nThis is not a SLB file");
      [[fallthrough]];
    case SlbOutcome::kLibraryUnopened:
      zcutPrintf(u"\nOPEN SLB FILE ERROR: %s", library);
      break;
    case SlbOutcome::kTempNotCreated: {
      const platform::PathParts parts = platform::splitPath(request.libraryPath);
      const std::u16string temporary =
          result.temporaryFolder + u"~" + parts.name + parts.ext + u".XXXXXX.tmp";
      zcutPrintf(u"\nOPEN Temp FILE ERROR: %s", temporary.c_str());
      zcutPrintf(u"\nSLB FILE NOT CHANGED: %s", library);
      break;
    }
    case SlbOutcome::kSlideMissing:
      zcutPrintf(u"\nFile not exist:%s", slide);
      zcutPrintf(u"\nFile [%s] Open Error !", slide);
      break;
    case SlbOutcome::kNotASlide:
      zcutPrintf(u"\nThis is not a SLD file");
      zcutPrintf(u"\nFile [%s] Open Error !", slide);
      break;
    case SlbOutcome::kLibraryTooLarge:
      zcutPrintf(u"\nSLB FILE TOO LARGE: %s", library);
      zcutPrintf(u"\nSLB FILE NOT CHANGED: %s", library);
      break;
    case SlbOutcome::kEmptyName:
      zcutPrintf(u"\nSLD NAME EMPTY: %s", slide);
      break;
    case SlbOutcome::kNotChanged:
    case SlbOutcome::kNameTaken:           // Slbedit never renames
    case SlbOutcome::kNameTakenMeanwhile:  // tried again by the engine
      zcutPrintf(u"\nSLB FILE NOT CHANGED: %s", library);
      break;
    case SlbOutcome::kNotSynced:
      zcutPrintf(u"\nSLB FILE CHANGED BUT NOT SAFE ON DISK: %s", library);
      break;
    case SlbOutcome::kJournalKept:
      zcutPrintf(u"\nSLB FILE CHANGED, ITS JOURNAL NOT REMOVED: %s", result.keptPath.c_str());
      break;
    case SlbOutcome::kDamaged:
      zcutPrintf(u"\nSLB FILE NOT FULLY WRITTEN: %s", library);
      zcutPrintf(u"\nTHE NEW LIBRARY IS KEPT IN: %s", result.keptPath.c_str());
      break;
  }
  platform::reportCause(result.cause);
  return status;
}

namespace {

// Refuses a slide name that cannot be stored: empty, not held exactly by the
// ANSI code page (two different names would become one), or too long.
bool nameStorable(const SlbRequest& request) {
  const char16_t* slide = request.slideFile.c_str();
  if (platform::splitPath(request.slideFile).name.empty()) {
    zcutPrintf(u"\nSLD NAME EMPTY: %s", slide);
  } else if (!request.nameExact) {
    zcutPrintf(u"\nSLD NAME NOT IN ANSI CODE PAGE %d: %s", platform::ansiCodePage(), slide);
  } else if (request.slideName.size() > kMaxSlideNameLength) {
    zcutPrintf(u"\nSLD NAME TOO LONG (max %d bytes): %s", static_cast<int>(kMaxSlideNameLength),
               slide);
  } else {
    return true;
  }
  return false;
}

}  // namespace

int Slbedit(const ResultBuffer* args) {
  SlbRequest request;
  if (!readArguments(args, &request)) return kRtError;
  const bool editing = request.command != u'l' && request.command != u'L';
  if (editing && !nameStorable(request)) return kRtError;
  SlideDirectory& directory = slideDirectory();
  return reportSlbedit(request, runSlbedit(handlerEnv(), request, directory), directory);
}
