#include "cli/command_line.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

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

namespace {

const OptionSpec* findLong(const std::vector<OptionSpec>& options, std::string_view name) {
  for (const OptionSpec& option : options) {
    if (!option.name.empty() && option.name == name) return &option;
  }
  return nullptr;
}

const OptionSpec* findLetter(const std::vector<OptionSpec>& options, char letter) {
  for (const OptionSpec& option : options) {
    if (option.letter != '\0' && option.letter == letter) return &option;
  }
  return nullptr;
}

std::string nameOf(const OptionSpec& option) {
  return option.name.empty() ? std::string{'-', option.letter} : "--" + std::string(option.name);
}

}  // namespace

bool readWords(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
               std::vector<Word>* words, std::string* error) {
  bool operandsOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (operandsOnly || arg.size() < 2 || arg[0] != '-') {
      words->push_back({false, arg, ""});
    } else if (arg == "--") {
      operandsOnly = true;
    } else if (arg[1] == '-') {
      const size_t equals = arg.find('=');
      const std::string name = arg.substr(2, equals == arg.npos ? arg.npos : equals - 2);
      const OptionSpec* option = findLong(options, name);
      if (!option) {
        *error = "unknown option --" + name;
        return false;
      }
      Word word{true, nameOf(*option), ""};
      if (equals != arg.npos) {
        if (!option->takesValue) {
          *error = "option --" + name + " takes no value";
          return false;
        }
        word.value = arg.substr(equals + 1);
      } else if (option->takesValue) {
        if (i + 1 == args.size()) {
          *error = "option --" + name + " needs a value";
          return false;
        }
        word.value = args[++i];
      }
      words->push_back(std::move(word));
    } else {
      for (size_t k = 1; k < arg.size(); ++k) {
        const OptionSpec* option = findLetter(options, arg[k]);
        if (!option) {
          *error = "unknown option -" + std::string(1, arg[k]);
          return false;
        }
        Word word{true, nameOf(*option), ""};
        if (option->takesValue) {
          if (k + 1 < arg.size()) {
            word.value = arg.substr(k + 1);
          } else if (i + 1 < args.size()) {
            word.value = args[++i];
          } else {
            *error = "option -" + std::string(1, arg[k]) + " needs a value";
            return false;
          }
          words->push_back(std::move(word));
          break;
        }
        words->push_back(std::move(word));
      }
    }
  }
  return true;
}

void tryHelp(std::string_view program) {
  std::fprintf(stderr, "Try '%.*s --help' for more information.\n",
               static_cast<int>(program.size()), program.data());
}

int endOnClosedPipe(int error) {
  if (error != EPIPE) return 0;
#if !defined(_WIN32)
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(SIGPIPE);
#endif
  return 128 + 13;  // SIGPIPE's number, as a POSIX shell shows a death by it
}

bool standardOutputIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stdout)) != 0;
#else
  return ::isatty(STDOUT_FILENO) == 1;
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
