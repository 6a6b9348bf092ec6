#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>
#endif

namespace cli {

std::vector<std::string> arguments(int argc, char** argv) {
#if defined(_WIN32)
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    out.push_back(platform::toUtf8(reinterpret_cast<const char16_t*>(wide[i])));
  }
  LocalFree(wide);
  return out;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

void binaryStandardStreams() {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

bool useCodePage(std::string_view text, std::string* error) {
  // At most five digits: code pages are 16-bit numbers.
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos) {
    *error = "--codepage needs a code page number";
    return false;
  }
  const std::string number(text);
  const int codePage = std::atoi(number.c_str());
  if (!platform::codePageAvailable(codePage)) {
    *error = "code page " + number + " is none this system can convert";
    return false;
  }
#if !defined(_WIN32)
  ::setenv("ANSI_CODEPAGE", number.c_str(), 1);
#endif
  if (platform::ansiCodePage() != codePage) {
    *error = "code page " + number + " cannot be used here; it is " +
             std::to_string(platform::ansiCodePage());
    return false;
  }
  return true;
}

std::string codePageVariableProblem() {
  if (platform::unavailableCodePageRequested() == 0) return std::string();
  const char* value = std::getenv("ANSI_CODEPAGE");
  return "ANSI_CODEPAGE=" + std::string(value ? value : "") +
         " names no code page this system can convert";
}

}  // namespace cli
