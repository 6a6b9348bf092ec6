// What the commands of slb share: how they speak (messages on standard
// error, with their exit statuses), text as the command line and the
// engines hold it, and the options of the commands that take them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "slb/slide_render.h"
#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_library.h"

namespace slb {

// The arguments of a command, after its name.
using Arguments = std::vector<std::string>;

// Text from a file or the command line as a terminal may show it: control
// and bidirectional formatting characters escaped.
std::string shown(std::string_view text);

// The exit status of a usage error, after which main says where the usage is.
constexpr int kUsageErrorStatus = 2;

// Says on standard error what is wrong with the command line (main follows
// it with where to find the usage). kUsageErrorStatus.
[[nodiscard]] int usageError(const std::string& message);
// Says on standard error what went wrong. The exit status of a problem: 1.
[[nodiscard]] int problem(const std::string& message);

// UTF-8 (the command line's and the terminal's text) as the engines take
// it, and back.
std::u16string wide(std::string_view utf8Text);
std::string utf8(std::u16string_view text);

// The file system the commands work on.
platform::Env& env();

// "1 slide", "2 slides".
std::string slidesCount(int n);

// Takes --json out of the arguments (those before "--", which are options):
// whether it was there.
bool takeJson(Arguments* args);

// Leaves the operands of a command that takes no other options (those
// before "--"); false with *error, a usage error, when one is left.
[[nodiscard]] bool takeOperands(const std::string& command, Arguments* args, std::string* error);

// A slide's format as list and info name it: "new, little-endian".
std::string formatOf(const SlideHeader& h);

// What every edit says when the library was not a library, or was not
// changed, or was changed but not as safely as it should have been. The
// exit status.
[[nodiscard]] int editFailure(const std::string& library, const SlbResult& result);

// What the options of extract, svg, png and sheet ask for.
struct Options {
  std::string output;  // -o: a file, a folder, or "-" (standard output)
  bool force = false, all = false, salvage = false;
  bool quiet = false;    // --quiet: no count of the slides drawn
  bool lenient = false;  // --lenient: make's slide without the entities it cannot draw
  std::string window;    // --window X1,Y1,X2,Y2: the part of a drawing make shows
  std::string library;   // --add LIB: the library make adds its slides to
  int columns = 0, size = 240, width = 0, height = 0;
  bool sizeGiven = false;
  Paper paper = Paper::kBlack;
  bool transparent = false;
  Arguments rest;  // what is not an option, in order

  // The size of a picture the options ask for.
  PictureSize pictureSize() const;
};

// Takes the options out of a command's arguments; false with *error (a
// usage error) for an unknown option or a value out of range.
[[nodiscard]] bool parseOptions(const Arguments& args, Options* options, std::string* error);

}  // namespace slb
