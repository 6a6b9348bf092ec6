#include "common.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/escapes.h"
#include "platform/text.h"

namespace slb {

std::string shown(std::string_view text) {
  return cli::terminalText(text);
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n", shown(message).c_str());
  return kUsageErrorStatus;
}

int problem(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n", shown(message).c_str());
  return 1;
}

std::u16string wide(std::string_view utf8Text) {
  return platform::fromUtf8(utf8Text);
}

std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

platform::Env& env() {
  return *platform::Env::defaultEnv();
}

bool takeJson(Arguments* args) {
  const auto end = std::find(args->begin(), args->end(), "--");
  auto it = std::find(args->begin(), end, "--json");
  if (it == end) return false;
  args->erase(it);
  return true;
}

bool takeOperands(const std::string& command, Arguments* args, std::string* error) {
  const auto end = std::find(args->begin(), args->end(), "--");
  if (end != args->begin()) {
    *error = command + " takes no option " + args->front();
    return false;
  }
  if (end != args->end()) args->erase(end);
  return true;
}

std::string formatOf(const SlideHeader& h) {
  return std::string(h.level == 2 ? "new" : "old") + ", " +
         (h.bigEndian ? "big-endian" : "little-endian");
}

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

std::string slidesCount(int n) {
  return std::to_string(n) + (n == 1 ? " slide" : " slides");
}

PictureSize Options::pictureSize() const {
  PictureSize asked;
  asked.width = width;
  asked.height = height;
  asked.within = sizeGiven ? size : 0;
  return asked;
}

namespace {

// A whole number from min to max, for an option.
bool numberOption(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::atoi(text.c_str());
  return *value >= min && *value <= max;
}

}  // namespace

bool parseOptions(const Arguments& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {  // operands only from here
      options->rest.insert(options->rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                           args.end());
      break;
    }
    if (args[i] == "-o") {
      if (i + 1 == args.size()) {
        *error = "-o needs a name";
        return false;
      }
      options->output = args[++i];
    } else if (args[i] == "--columns" || args[i] == "--size") {
      const bool columns = args[i] == "--columns";
      if (i + 1 == args.size() || !numberOption(args[i + 1], columns ? 1 : 16, columns ? 100 : 4096,
                                                columns ? &options->columns : &options->size)) {
        *error = args[i] + (columns ? " needs a number of columns from 1 to 100"
                                    : " needs a number of pixels from 16 to 4096");
        return false;
      }
      options->sizeGiven = options->sizeGiven || !columns;
      ++i;
    } else if (args[i] == "--width" || args[i] == "--height") {
      if (i + 1 == args.size() ||
          !numberOption(args[i + 1], 1, 16384,
                        args[i] == "--width" ? &options->width : &options->height)) {
        *error = args[i] + " needs a number of pixels from 1 to 16384";
        return false;
      }
      ++i;
    } else if (args[i] == "--background") {
      const std::string value = i + 1 < args.size() ? args[i + 1] : "";
      if (value != "black" && value != "white" && value != "transparent") {
        *error = "--background is black, white or transparent";
        return false;
      }
      options->paper = value == "white"         ? Paper::kWhite
                       : value == "transparent" ? Paper::kTransparent
                                                : Paper::kBlack;
      options->transparent = value == "transparent";
      ++i;
    } else if (args[i] == "--force") {
      options->force = true;
    } else if (args[i] == "--all") {
      options->all = true;
    } else if (args[i] == "--salvage") {
      options->salvage = true;
    } else if (args[i] == "--quiet") {
      options->quiet = true;
    } else if (args[i] == "--lenient") {
      options->lenient = true;
    } else if (args[i] == "--add") {
      if (i + 1 == args.size()) {
        *error = "--add needs a library";
        return false;
      }
      options->library = args[++i];
    } else if (args[i] == "--window") {
      if (i + 1 == args.size()) {
        *error = "--window needs X1,Y1,X2,Y2";
        return false;
      }
      options->window = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      *error = "unknown option " + args[i];
      return false;
    } else {
      options->rest.push_back(args[i]);
    }
  }
  return true;
}

}  // namespace slb
