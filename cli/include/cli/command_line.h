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
