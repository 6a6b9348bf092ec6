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
     "LIB [-o OUT.png] [--size PX]\tthe first four slides, named, as a thumbnail\n"
     "LIB --all -o DIR [--size PX] [--quiet]\t"
     "a PNG of every slide of a library, each\n"
     "\twritten as it is drawn; one that cannot be\n"
     "\tis named and left out (exit 1); a count on\n"
     "\ta terminal unless --quiet"},
    {"sheet", drawSheet,
     "LIB [-o OUT.html] [--columns N] [--size PX]\t"
     "one page with every slide of a library, and\n"
     "\ta box that finds slides by name; a slide\n"
     "\tthat cannot be drawn is named (exit 1)"},
    {"dump", dumpSlide,
     "SLIDE.sld|LIB NAME [-o OUT.txt]\t"
     "a slide as text, a line for each record,\n"
     "\twhich slb make makes into the same bytes:\n"
     "\tslide new|old little-endian|big-endian WxH\n"
     "\taspect RATIO hardware-fill N, then vector X1\n"
     "\tY1 X2 Y2, offset DX1 DY1 DX2 DY2 (from the\n"
     "\tlast point), endpoint X Y, fill X Y (a\n"
     "\tnegative Y starts or ends a solid fill),\n"
     "\tcolour N, and end. A slide with a problem\n"
     "\t(see check) has no text"},
    {"make", makeSlide,
     "TEXT -o OUT.sld\t"
     "the slide of a text as dump writes it (blank\n"
     "\tlines and lines that begin with # left out);\n"
     "\ta faulty line is named, and nothing written\n"
     "DRAWING.dxf -o OUT.sld [--window X1,Y1,X2,Y2]\t"
     "the slide of a DXF drawing's extents (or\n"
     "\tthe window), fitted into --width by --height\n"
     "\tdots (1024 by 768 unless given). Entities it\n"
     "\tcannot draw are counted on standard error,\n"
     "\tand nothing is written unless --lenient\n"
     "DRAWING.dxf... --add LIB [NAME]\t"
     "add the slides to a library (made when\n"
     "\tmissing) in one edit, as slb add does, each\n"
     "\tunder its file's name, or one under NAME"},
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
    "                 7 draws black, and yellow, green and cyan darker;\n"
    "                 transparent draws no background, and the screen's\n"
    "                 colours); colour 0 is always the background\n"
    "  --quiet        no count of the slides drawn (png --all, sheet), which\n"
    "                 shows only on a terminal\n"
    "  --codepage N   the ANSI code page of slide names; unset, the environment\n"
    "                 variable ANSI_CODEPAGE, else the one Windows gives the\n"
    "                 locale's language (950 in the C locale)\n"
    "  -h, --help     show this text; with a command, that command's (also slb\n"
    "                 help COMMAND)\n"
    "  --version      show the version\n"
    "\n"
    "Options may stand anywhere, as --name=value, and -o with its value\n"
    "(-oDIR); after --, every word is an operand. A LIB or SLIDE of - is read\n"
    "from standard input. png writes to a terminal only with -o -.\n"
    "Slide names are stored as Slbedit stores them: a slide file's name with its\n"
    "ASCII letters upper-cased, at most 31 bytes in the ANSI code page, which must\n"
    "hold it exactly. Names and messages show control and bidirectional\n"
    "formatting characters escaped (\\x1b, \\u202e); --json escapes them as JSON\n"
    "does. Without -o, or with -o -, svg, png, sheet and dump write to standard\n"
    "output; make writes there with -o -.\n"
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

// The options slb knows: those every command has, then those of the
// commands (each command refuses those it does not take).
const std::vector<cli::OptionSpec> kOptions = {
    {"help", 'h', false},       {"version", '\0', false},
    {"codepage", '\0', true},   {"", 'o', true},
    {"force", '\0', false},     {"all", '\0', false},
    {"salvage", '\0', false},   {"json", '\0', false},
    {"columns", '\0', true},    {"size", '\0', true},
    {"width", '\0', true},      {"height", '\0', true},
    {"background", '\0', true}, {"quiet", '\0', false},
    {"window", '\0', true},     {"lenient", '\0', false},
    {"add", '\0', true},
};

const Command* findCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// Runs `command` on its arguments.
int runCommand(const Command& command, const Arguments& args) {
  // Memory that cannot be had is a failure of the command, never an abort.
  try {
    return command.run(args);
  } catch (const std::bad_alloc&) {
    return problem("out of memory");
  } catch (const std::length_error&) {
    return problem("out of memory: more than this system can hold at once");
  }
}

// Shows the help of the command `name` names, or all of it when `name` is
// empty. The exit status.
int showHelp(const std::string& name) {
  if (name.empty() || name == "help") {
    std::fputs(helpText().c_str(), stdout);
    return 0;
  }
  const Command* command = findCommand(name);
  if (!command) return usageError("unknown command " + name);
  std::fputs(("usage:\n" + helpLines(*command) + kHelpEnd).c_str(), stdout);
  return 0;
}

// Runs slb on its arguments (the program's name taken off), after the
// options every command has, wherever they stand: -h and --help show the
// help (of the command, when one is named), --version the version, and
// --codepage N sets the ANSI code page of the run. The command gets its
// options, each in one word and its value in the next, then "--", then its
// operands. The exit status.
int runSlb(const std::vector<std::string>& args) {
  std::vector<cli::Word> words;
  std::string why;
  if (!cli::readWords(args, kOptions, &words, &why)) return usageError(why);
  std::vector<std::string> operands;
  for (const cli::Word& word : words) {
    if (!word.isOption) operands.push_back(word.text);
  }
  for (const cli::Word& word : words) {
    if (word.text == "--help") return showHelp(operands.empty() ? "" : operands[0]);
    if (word.text == "--version") {
      std::printf("slb %s\n", ZC_VERSION);
      return 0;
    }
  }
  Arguments commandArgs;
  for (const cli::Word& word : words) {
    if (!word.isOption) continue;
    if (word.text == "--codepage") {
      if (!cli::useCodePage(word.value, &why)) return usageError(why);
      continue;
    }
    commandArgs.push_back(word.text);
    const auto takesValue = [&](const cli::OptionSpec& o) {
      return o.takesValue &&
             (word.text == "--" + std::string(o.name) || word.text == std::string{'-', o.letter});
    };
    if (std::any_of(kOptions.begin(), kOptions.end(), takesValue)) {
      commandArgs.push_back(word.value);
    }
  }
  if (const std::string problem = cli::codePageVariableProblem(); !problem.empty()) {
    return usageError(problem);
  }
  if (operands.empty()) return usageError("a command is needed");
  if (operands[0] == "help") {
    if (operands.size() > 2) return usageError("help takes at most one command");
    return showHelp(operands.size() == 2 ? operands[1] : "");
  }
  const Command* command = findCommand(operands[0]);
  if (!command) return usageError("unknown command " + operands[0]);
  commandArgs.push_back("--");
  commandArgs.insert(commandArgs.end(), operands.begin() + 1, operands.end());
  return runCommand(*command, commandArgs);
}

}  // namespace
}  // namespace slb

int main(int argc, char** argv) {
  platform::removeTemporaryFilesOnSignals();
  cli::binaryStandardStreams();
  std::vector<std::string> args = cli::arguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());  // the program's name
  const int status = slb::runSlb(args);
  if (status == slb::kUsageErrorStatus) cli::tryHelp("slb");
  // What the command wrote must have reached its reader: output that
  // cannot be written (a full disk) is a failure; a reader that went away
  // ends slb quietly.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (const int ended = cli::endOnClosedPipe(errno)) return ended;
    std::fprintf(stderr, "slb: cannot write standard output: %s\n", std::strerror(errno));
    return status == 0 ? 1 : status;
  }
  return status;
}
