// What the zchost and slb commands share about their command lines: the
// arguments in UTF-8, standard streams that pass bytes unchanged, and the
// --codepage option with the ANSI_CODEPAGE variable behind it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// main's arguments in UTF-8, the program's name first. On Windows they are
// read from the wide command line: argv holds them in the ANSI code page,
// which cannot hold every name.
std::vector<std::string> arguments(int argc, char** argv);

// An option a program takes: its long name (without "--", empty for none),
// its letter ('\0' for none), and whether it takes a value.
struct OptionSpec {
  std::string_view name;
  char letter;
  bool takesValue;
};

// A word of a command line as GNU programs read it: an option, named by its
// long name ("--load") when it has one, else by its letter ("-l"), with its
// value; or an operand.
struct Word {
  bool isOption;
  std::string text;   // the option's name, or the operand
  std::string value;  // an option's value
};

// Reads `args` (the program's name taken off) as GNU getopt_long does,
// options and operands in their order: --name=value or --name value,
// letters bundled (-vlcalden is -v -l calden, -o/tmp is -o /tmp), "-" an
// operand, and every word after "--" an operand. False with *error, one
// line, for an unknown option, a missing value, or a value given to an
// option that takes none.
[[nodiscard]] bool readWords(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& options, std::vector<Word>* words,
                             std::string* error);

// Writes the one line GNU programs end a usage error with: "Try 'PROGRAM
// --help' for more information."
void tryHelp(std::string_view program);

// The status a program ends with when its standard output failed with
// `error`: a reader that went away (a closed pipe) ends it quietly, as SIGPIPE
// ends cat: on POSIX by that signal itself, which this function raises, on
// Windows with 141 as a POSIX shell shows it. Any other error: 0, for the
// caller to report.
int endOnClosedPipe(int error);

// Whether standard output is a terminal (a console on Windows).
bool standardOutputIsTerminal();

// Makes standard input, output and error pass bytes unchanged (Windows
// otherwise adds CR before LF and takes it away).
void binaryStandardStreams();

// Makes `text`, the value of --codepage, the ANSI code page of this run: on
// POSIX by setting ANSI_CODEPAGE; on Windows, where the code page is the
// system's, only when it is that one. False with the reason in *error when
// it is no number, no code page this system can convert, or not the
// system's.
bool useCodePage(std::string_view text, std::string* error);

// The reason ANSI_CODEPAGE cannot be used, when it names no code page this
// system can convert; empty otherwise.
std::string codePageVariableProblem();

}  // namespace cli
