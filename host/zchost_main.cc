// zchost: loads the modules and evaluates LISP that calls them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/library.h"
#include "host/lisp.h"
#include "platform/platform.h"

namespace {

constexpr char kUsage[] =
    "usage: zchost [-l MODULE]... [--codepage N] [-e EXPR]... [FILE]...\n"
    "\n"
    "Loads plug-in modules and evaluates LISP that calls their functions.\n"
    "\n"
    "  -l, --load MODULE  load a module file, or a bare name (vetrix, calden) from\n"
    "                     the folder of zchost; without -l both are loaded\n"
    "  --codepage N       the ANSI code page for this run (950 when unset)\n"
    "  -e EXPR            evaluate the forms in EXPR\n"
    "  -v, --verbose      after a module's failure message, write its cause (the\n"
    "                     system's error) to standard error\n"
    "  FILE               evaluate the forms of a UTF-8 LISP file; - reads stdin\n"
    "  -h, --help         show this text\n"
    "  --version          show the version\n"
    "\n"
    "Without -e or FILE, zchost reads forms from standard input and prints the\n"
    "value of each. Exit status: 0 when every form ran, 1 when a form ended in an\n"
    "error, 2 for a usage error or a module that cannot be loaded.\n";

struct Source {
  bool isExpression;
  std::string text;  // the expression, or the file name
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "zchost: %s\n%s", message.c_str(), kUsage);
  return 2;
}

void reportError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "; error: %s\n", message.c_str());
  std::fflush(stderr);
}

bool isBareName(const std::string& module) {
  return module.find('/') == std::string::npos && module.find('\\') == std::string::npos &&
         module.find('.') == std::string::npos;
}

class Session {
 public:
  // Evaluates every form of `text`; false when any ended in an error.
  void run(std::string_view text) {
    lisp::Reader reader(text);
    for (;;) {
      lisp::Value form;
      std::string message;
      switch (reader.next(&form, &message)) {
        case lisp::Reader::Status::kForm:
          evaluate(form, false);
          break;
        case lisp::Reader::Status::kEnd:
          return;
        case lisp::Reader::Status::kIncomplete:
          fail("malformed list on input");
          return;
        case lisp::Reader::Status::kError:
          fail(message);
          break;
      }
    }
  }

  // The read-eval-print loop over standard input.
  void interact() {
    const bool prompt = zc::standardInputIsTerminal();
    std::string pending;
    char line[4096];
    for (;;) {
      if (prompt && pending.empty()) {
        zc::writeOutput("Command: ");
        std::fflush(stdout);
      }
      if (!std::fgets(line, sizeof line, stdin)) break;
      pending += line;
      lisp::Reader reader(pending);
      size_t consumed = 0;
      for (bool more = true; more;) {
        lisp::Value form;
        std::string message;
        switch (reader.next(&form, &message)) {
          case lisp::Reader::Status::kForm:
            consumed = reader.position();
            evaluate(form, true);
            break;
          case lisp::Reader::Status::kEnd:
            consumed = pending.size();
            more = false;
            break;
          case lisp::Reader::Status::kIncomplete:
            more = false;
            break;
          case lisp::Reader::Status::kError:
            consumed = reader.position();
            fail(message);
            break;
        }
      }
      pending.erase(0, consumed);
    }
    if (pending.find_first_not_of(" \t\r\n") != std::string::npos) {
      lisp::Reader rest(pending);
      lisp::Value ignored;
      std::string message;
      if (rest.next(&ignored, &message) != lisp::Reader::Status::kEnd) {
        fail("malformed list on input");
      }
    }
    if (prompt) zc::writeOutput("\n");
  }

  void evaluate(const lisp::Value& form, bool show) {
    try {
      lisp::Value value = lisp::eval(form);
      if (show) {
        if (!zc::outputAtLineStart()) zc::writeOutput("\n");
        zc::writeOutput(lisp::prin1String(value) + "\n");
      }
    } catch (const lisp::Error& error) {
      fail(error.message);
    }
  }

  void fail(const std::string& message) {
    failed_ = true;
    reportError(message);
  }

  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

bool readWholeFile(const std::string& name, std::string* text) {
  std::FILE* file = name == "-" ? stdin : zc::openFileUtf8(name, "rb");
  if (!file) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  if (file != stdin) std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  zc::prepareStandardStreams();
  const std::vector<std::string> arguments = zc::commandLineArguments(argc, argv);
  const int count = static_cast<int>(arguments.size());
  std::vector<std::string> modules;
  std::vector<Source> sources;
  for (int i = 1; i < count; ++i) {
    const std::string arg = arguments[i];
    auto value = [&](const char*) -> const char* {
      if (i + 1 >= count) return nullptr;
      return arguments[++i].c_str();
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("zchost %s\n", ZC_VERSION);
      return 0;
    } else if (arg == "-l" || arg == "--load") {
      const char* module = value("-l");
      if (!module) return usageError(arg + " needs a module");
      modules.push_back(module);
    } else if (arg == "--codepage") {
      const char* codePage = value("--codepage");
      if (!codePage || std::strspn(codePage, "0123456789") != std::strlen(codePage) || !*codePage) {
        return usageError("--codepage needs a code page number");
      }
      zc::setEnvironment("ANSI_CODEPAGE", codePage);
      if (platform::ansiCodePage() != std::atoi(codePage)) {
        // On Windows the ANSI code page is the system's own.
        return usageError("code page " + std::string(codePage) + " cannot be used here; it is " +
                          std::to_string(platform::ansiCodePage()));
      }
    } else if (arg == "-v" || arg == "--verbose") {
      zc::setEnvironment("ZC_DIAGNOSTICS", "1");
    } else if (arg == "-e") {
      const char* expression = value("-e");
      if (!expression) return usageError("-e needs an expression");
      sources.push_back({true, expression});
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else {
      sources.push_back({false, arg});
    }
  }
  if (modules.empty()) modules = {"vetrix", "calden"};

  const std::string directory = zc::executableDirectory();
  for (const std::string& module : modules) {
    const std::string path = isBareName(module) ? zc::moduleFileName(directory, module) : module;
    std::string error;
    if (!zc::loadModule(path, &error)) {
      std::fprintf(stderr, "zchost: cannot load module %s: %s\n", path.c_str(), error.c_str());
      zc::unloadAllModules();
      return 2;
    }
  }

  Session session;
  int status = -1;
  try {
    if (sources.empty()) session.interact();
    for (const Source& source : sources) {
      if (source.isExpression) {
        session.run(source.text);
        continue;
      }
      std::string text;
      if (!readWholeFile(source.text, &text)) {
        session.fail("cannot read " + source.text + ": " + std::strerror(errno));
        continue;
      }
      session.run(text);
    }
  } catch (const lisp::ExitRequest& request) {
    if (request.status) status = *request.status;
  }
  std::fflush(stdout);
  zc::unloadAllModules();
  std::fflush(stdout);
  return status >= 0 ? status : (session.failed() ? 1 : 0);
}
