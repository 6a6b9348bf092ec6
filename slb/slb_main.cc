// slb: lists, checks, takes apart, edits and draws AutoCAD slide libraries.
// main takes the options every command has, then runs the command named
// in the table below, which --help lists too.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "commands.h"
#include "common.h"
#include "platform/env.h"

namespace slb {
namespace {

// The commands, in the order --help lists them (see Command for the usage
// lines).
constexpr Command kCommands[] = {
    {"list", listSlides, "LIB [--json]\teach slide: name, offset, size, format, picture"},
    {"check", checkFile, "LIB|SLIDE [--json]\tevery problem, with its offset; exit 1 if any"},
    {"info", describeSlide, "SLIDE.sld\ta slide's header, size and records by kind"},
    {"extract", extractSlides,
     "LIB NAME... [-o DIR] [--force]\n"
     "LIB --all -o DIR [--force]\n"
     "LIB --salvage -o DIR [--force]\t"
     "write NAME.sld, byte for byte as stored; an\n"
     "\texisting file only with --force; --salvage\n"
     "\ttakes the intact slides out of a damaged\n"
     "\tlibrary and names those it could not save.\n"
     "\tEach slide is written once; a name that\n"
     "\twould take the file of another (letter case\n"
     "\taside) or a device's name (CON, NUL, ...) is\n"
     "\tleft out and named, and the exit status is 1"},
    {"add", addSlides, "LIB SLIDE.sld...\tadd or replace slides, in one edit"},
    {"delete", deleteSlides, "LIB NAME...\tdelete slides, in one edit"},
    {"rename", renameSlide, "LIB OLD NEW\tgive a slide a new name, in one edit"},
    {"svg", drawSvg,
     "SLIDE.sld [-o OUT.svg]\tdraw a slide as SVG\n"
     "LIB NAME [-o OUT.svg]\tdraw a slide of a library"},
    {"png", drawPng,
     "SLIDE.sld|LIB NAME [-o OUT.png] [--width PX] [--height PX]\t"
     "draw a slide as PNG (--size PX: within a\n"
     "\tsquare of PX, as a thumbnail)\n"
     "LIB --all -o DIR\ta PNG of every slide of a library"},
    {"sheet", drawSheet,
     "LIB [-o OUT.html] [--columns N] [--size PX]\t"
     "one page with every slide of a library, and\n"
     "\ta box that finds slides by name"},
};

constexpr char kHelpStart[] =
    "usage: slb COMMAND ...\n"
    "\n"
    "Lists, checks, takes apart, edits and draws AutoCAD slide libraries (.slb)\n"
    "and slides (.sld).\n"
    "\n";

constexpr char kHelpEnd[] =
    "\n"
    "  --width PX, --height PX, --size PX\n"
    "                 the size of a picture (svg, png): 1024 pixels on its longer\n"
    "                 side unless given; given one side, the other follows the\n"
    "                 slide's aspect ratio, which is all its header decides;\n"
    "                 --size fits the picture in a square of PX (for sheet: the\n"
    "                 width of a cell); at most 16384 pixels a side\n"
    "  --background black|white|transparent\n"
    "                 what svg, png and sheet draw on (white is for print: colour\n"
    "                 7 draws black; transparent is for png); colour 0 is always\n"
    "                 the background\n"
    "  --codepage N   the ANSI code page of slide names (950 when unset; also the\n"
    "                 environment variable ANSI_CODEPAGE)\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Slide names are stored as Slbedit stores them: a slide file's name with its\n"
    "ASCII letters upper-cased, at most 31 bytes in the ANSI code page, which must\n"
    "hold it exactly. Names and messages show control and bidirectional\n"
    "formatting characters escaped (\\x1b, \\u202e); --json escapes them as JSON\n"
    "does. Without -o, or with -o -, svg, png and sheet write to standard output.\n"
    "Exit status: 0 done, 1 a problem (reported), 2 a usage error.\n";

// The column where --help sets what a command does: beside the form when
// the form ends before it, else on the next line.
constexpr size_t kAboutColumn = 33;

// A command's lines of --help, from its usage (see Command).
std::string helpLines(const Command& command) {
  std::string lines;
  std::string_view usage = command.usage;
  while (!usage.empty()) {
    const std::string_view line = usage.substr(0, usage.find('\n'));
    usage.remove_prefix(std::min(line.size() + 1, usage.size()));
    const std::string_view form = line.substr(0, line.find('\t'));
    std::string text;
    if (!form.empty()) text = "  slb " + std::string(command.name) + " " + std::string(form);
    if (form.size() < line.size()) {  // what the command does, after the tab
      if (text.size() >= kAboutColumn) lines += std::exchange(text, "") + "\n";
      text.resize(kAboutColumn, ' ');
      text += line.substr(form.size() + 1);
    }
    lines += text + "\n";
  }
  return lines;
}

std::string helpText() {
  std::string text = kHelpStart;
  for (const Command& command : kCommands) text += helpLines(command);
  return text + kHelpEnd;
}

// Runs the command args[0] names on the arguments after it.
int runCommand(const std::vector<std::string>& args) {
  for (const Command& command : kCommands) {
    if (args[0] != command.name) continue;
    // Memory that cannot be had is a failure of the command, never an abort.
    try {
      return command.run(Arguments(args.begin() + 1, args.end()));
    } catch (const std::bad_alloc&) {
      return problem("out of memory");
    } catch (const std::length_error&) {
      return problem("out of memory: more than this system can hold at once");
    }
  }
  return usageError("unknown command " + args[0]);
}

// Runs slb on its arguments (the program's name taken off), after the
// options every command has, wherever they stand: -h and --help show the
// help, --version the version, and --codepage N sets the ANSI code page of
// the run. The exit status.
int runSlb(std::vector<std::string> args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") {
      std::fputs(helpText().c_str(), stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("slb %s\n", ZC_VERSION);
      return 0;
    }
    if (args[i] == "--codepage") {
      std::string why;
      if (!cli::useCodePage(i + 1 < args.size() ? args[i + 1] : "", &why)) return usageError(why);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      --i;
    }
  }
  if (const std::string why = cli::codePageVariableProblem(); !why.empty()) {
    return usageError(why);
  }
  if (args.empty()) return usageError("a command is needed");
  return runCommand(args);
}

}  // namespace
}  // namespace slb

int main(int argc, char** argv) {
  platform::removeTemporaryFilesOnSignals();
  cli::binaryStandardStreams();
  std::vector<std::string> args = cli::arguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());  // the program's name
  const int status = slb::runSlb(std::move(args));
  if (status == slb::kUsageErrorStatus) std::fputs(slb::helpText().c_str(), stderr);
  // What the command wrote must have reached its reader: output that
  // cannot be written (a full disk, a closed pipe) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "slb: cannot write standard output: %s\n", std::strerror(errno));
    return status == 0 ? 1 : status;
  }
  return status;
}
