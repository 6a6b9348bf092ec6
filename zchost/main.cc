// zchost: loads the modules and runs LISP that calls them.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/escapes.h"
#include "host/host.h"
#include "host/library.h"
#include "lisp/lisp.h"
#include "platform/env.h"
#include "platform/stack.h"
#include "platform/text.h"

namespace {

constexpr char kUsage[] =
    "usage: zchost [-l MODULE]... [--codepage N] [--exact-reals] [-v] [-e EXPR]... [FILE]...\n"
    "\n"
    "Loads plug-in modules and runs LISP that calls their functions.\n"
    "\n"
    "  -l, --load MODULE  load a module file, or a bare name (vetrix, calden) from\n"
    "                     the modules' folder; without -l both are loaded\n"
    "  --codepage N       the ANSI code page for this run (950 when unset; also\n"
    "                     the environment variable ANSI_CODEPAGE)\n"
    "  --exact-reals      print reals in the shortest form that reads back as the\n"
    "                     same real (1.2100000000000002), not with six significant\n"
    "                     digits as the CAD host prints them (1.21)\n"
    "  -e EXPR            evaluate the forms in EXPR\n"
    "  -v, --verbose      after a module's failure message, write its cause (the\n"
    "                     system's error) to standard error\n"
    "  FILE               evaluate the forms of a LISP file (UTF-8, UTF-16 with its\n"
    "                     mark, or the ANSI code page); - reads standard input\n"
    "  -h, --help         show this text\n"
    "  --version          show the version\n"
    "\n"
    "Without -e or FILE, zchost reads forms from standard input and prints the\n"
    "value of each, as the CAD host's command line does. Exit status: 0 when every\n"
    "form ran, 1 when a form ended in an error or standard output could not be\n"
    "written, 2 for a usage error or a module that cannot be loaded; (exit N) ends\n"
    "with N.\n";

// The stack of the thread the LISP runs on.
constexpr size_t kStackBytes = size_t{128} << 20;

struct Source {
  bool isExpression;
  std::string text;  // the expression, or the file name
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "zchost: %s\n%s", cli::terminalText(message).c_str(), kUsage);
  return 2;
}

// Standard output could not be written: closed, full, or a broken pipe.
struct OutputFailed {
  int error;
};

// A script or standard input could not be read: the run stops there, as
// it would at the end, but says so and fails.
struct InputFailed {
  int error;
};

// Flushes what the forms printed so far, so that a signal loses none of it;
// a failed write ends the run.
void flushOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw OutputFailed{errno};
}

// "; error: MESSAGE (FILE:LINE)": the file's name as a terminal may show it
// (the message is the LISP's own, and stays as it is).
void reportError(const lisp::Error& error) {
  std::fflush(stdout);
  lisp::Error shown = error;
  shown.where = cli::terminalText(error.where);
  std::fprintf(stderr, "%s\n", shown.report().c_str());
  std::fflush(stderr);
}

bool isBareName(const std::string& module) {
  return module.find('/') == std::string::npos && module.find('\\') == std::string::npos &&
         module.find('.') == std::string::npos;
}

class Session {
 public:
  explicit Session(lisp::Reals reals) {
    lisp_.setReals(reals);
    lisp_.setErrorOutput([this](const lisp::Error& error) {
      failed_ = true;
      reportError(error);
    });
  }

  bool failed() const { return failed_ || lisp_.failed(); }

  void expression(const std::string& text) {
    lisp::Script script(lisp_, "", lisp::Script::Mode::kTopLevel, lisp::Encoding::kUtf8);
    script.afterForm([](const lisp::Value*) { flushOutput(); });
    script.feed(text);
    script.finish();
  }

  // Evaluates a stream of text (a file, standard input) form by form as its
  // pieces arrive; `next` gives the next piece, false at the end.
  void stream(const std::function<bool(std::string*)>& next, const std::string& source,
              bool interactive) {
    lisp::Script script(lisp_, interactive ? "" : source, lisp::Script::Mode::kTopLevel);
    script.afterForm([this, interactive](const lisp::Value* value) {
      if (interactive && value) printValue(*value);
      flushOutput();
    });
    const bool prompting = interactive && zc::standardInputIsTerminal();
    std::string piece;
    for (;;) {
      if (prompting) {
        zc::writeOutput(script.midForm() ? "(_> " : "Command: ");
        std::fflush(stdout);
      }
      try {
        if (!next(&piece)) break;
      } catch (const InputFailed& failed) {
        failed_ = true;
        reportError(lisp::Error{
            "cannot read " +
                (source.empty() ? std::string("standard input") : cli::terminalText(source)) +
                ": " + std::strerror(failed.error),
            ""});
        return;
      }
      if (prompting) zc::noteLineStart();  // the terminal echoed the newline
      if (!script.feed(piece)) return;
    }
    script.finish();
    if (prompting && !zc::outputAtLineStart()) zc::writeOutput("\n");
  }

 private:
  // A value on a line of its own, as prin1 writes it; (princ) writes none.
  void printValue(const lisp::Value& value) {
    const std::string text = lisp::prin1String(value, lisp_.reals());
    if (text.empty()) return;
    if (!zc::outputAtLineStart()) zc::writeOutput("\n");
    zc::writeOutput(text + "\n");
  }

  lisp::Interpreter lisp_;
  bool failed_ = false;
};

// Reads a piece of `file`; false at its end. A read error is no end.
bool readPiece(std::FILE* file, std::string* piece) {
  piece->resize(1 << 16);
  size_t n = 0;
  for (;;) {
    errno = 0;
    n = std::fread(piece->data(), 1, piece->size(), file);
    // A signal that interrupted the read is no end and no failure.
    if (n > 0 || !std::ferror(file) || errno != EINTR) break;
    std::clearerr(file);
  }
  piece->resize(n);
  if (n == 0 && std::ferror(file)) throw InputFailed{errno};
  return n > 0;
}

bool readStandardInput(std::string* piece) {
  return readPiece(stdin, piece);
}

// Reads standard input a line at a time, for the interactive loop.
bool readStandardInputLine(std::string* piece) {
  piece->clear();
  char buffer[4096];
  for (;;) {
    errno = 0;
    if (std::fgets(buffer, sizeof buffer, stdin)) {
      piece->append(buffer);
      if (!piece->empty() && piece->back() == '\n') return true;
      continue;
    }
    if (!std::ferror(stdin) || errno != EINTR) break;
    std::clearerr(stdin);  // interrupted by a signal: read on
  }
  if (std::ferror(stdin)) throw InputFailed{errno};
  return !piece->empty();
}

}  // namespace

// Ends a run whose standard output failed, saying why on standard error.
static int outputFailed(int error) {
  std::fprintf(stderr, "zchost: cannot write standard output: %s\n", std::strerror(error));
  zc::unloadAllModules();
  return 1;
}

namespace {

// What the command line asks for.
struct Options {
  std::vector<std::string> modules;
  std::vector<Source> sources;
  lisp::Reals reals = lisp::Reals::kHost;
};

// Reads the options into *options. An exit status when the run ends here
// (help, version, a usage error); -1 when it goes on.
int parseArguments(const std::vector<std::string>& arguments, Options* options) {
  const size_t count = arguments.size();
  for (size_t i = 1; i < count; ++i) {
    const std::string& arg = arguments[i];
    auto value = [&]() -> const char* { return i + 1 < count ? arguments[++i].c_str() : nullptr; };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("zchost %s\n", ZC_VERSION);
      return 0;
    } else if (arg == "-l" || arg == "--load") {
      const char* module = value();
      if (!module) return usageError(arg + " needs a module");
      options->modules.push_back(module);
    } else if (arg == "--codepage") {
      const char* codePage = value();
      std::string problem;
      if (!cli::useCodePage(codePage ? codePage : "", &problem)) return usageError(problem);
    } else if (arg == "--exact-reals") {
      options->reals = lisp::Reals::kExact;
    } else if (arg == "-v" || arg == "--verbose") {
      zc::setEnvironment("ZC_DIAGNOSTICS", "1");
    } else if (arg == "-e") {
      const char* expression = value();
      if (!expression) return usageError("-e needs an expression");
      options->sources.push_back({true, expression});
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else {
      options->sources.push_back({false, arg});
    }
  }
  if (options->modules.empty()) options->modules = {"vetrix", "calden"};
  return -1;
}

// Loads the modules, a bare name from zchost's module folder. False, having
// said why, when one cannot be loaded.
bool loadModules(const std::vector<std::string>& modules) {
  const std::string directory = zc::moduleDirectory();
  for (const std::string& module : modules) {
    const std::string path = isBareName(module) ? zc::moduleFileName(directory, module) : module;
    std::string error;
    if (!zc::loadModule(path, &error)) {
      std::fprintf(stderr, "zchost: cannot load module %s: %s\n", cli::terminalText(path).c_str(),
                   cli::terminalText(error).c_str());
      zc::unloadAllModules();
      return false;
    }
  }
  return true;
}

// Runs one script file, read in order as it comes: a file, or a pipe or
// FIFO (zchost <(...), /dev/stdin), which holds a script as well as a file
// does. False when it cannot be opened.
bool runScriptFile(Session& session, const std::string& name) {
  platform::Env& env = *platform::Env::defaultEnv();
  platform::FileInfo info;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(nullptr, std::fclose);
  if (env.fileInfo(platform::fromUtf8(name), &info).ok() && !info.isDirectory) {
    in.reset(zc::openFileUtf8(name, "rb"));
  }
  if (!in) {
    reportError(lisp::Error{"cannot read " + cli::terminalText(name), ""});
    return false;
  }
  session.stream([&](std::string* piece) { return readPiece(in.get(), piece); }, name, false);
  return true;
}

// Runs the sources in order (standard input, interactively, when there are
// none) and answers the exit status: the one (exit) gave, else 1 when a
// form failed or a script could not be read. Throws OutputFailed.
int runSources(const std::vector<Source>& sources, lisp::Reals reals) {
  Session session(reals);
  bool unreadable = false;
  try {
    if (sources.empty()) session.stream(readStandardInputLine, "", true);
    for (const Source& source : sources) {
      if (source.isExpression) {
        session.expression(source.text);
      } else if (source.text == "-") {
        session.stream(readStandardInput, "-", false);
      } else if (!runScriptFile(session, source.text)) {
        unreadable = true;
      }
    }
    flushOutput();
  } catch (const lisp::ExitRequest& request) {
    return request.given ? (request.status & 255) : (session.failed() ? 1 : 0);
  }
  return session.failed() || unreadable ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(SIGPIPE)
  // A closed pipe is a failed write, reported as any other.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  cli::binaryStandardStreams();
  platform::removeTemporaryFilesOnSignals();
  if (const std::string problem = cli::codePageVariableProblem(); !problem.empty()) {
    return usageError(problem);
  }
  Options options;
  if (const int ended = parseArguments(cli::arguments(argc, argv), &options); ended >= 0) {
    return ended;
  }
  if (!loadModules(options.modules)) return 2;

  // The LISP runs on a thread with a large stack: user functions recurse
  // tens of thousands of calls deep.
  int status = 0;
  int outputError = -1;
  platform::runWithStack(kStackBytes, [&] {
    try {
      status = runSources(options.sources, options.reals);
    } catch (const OutputFailed& failed) {
      outputError = failed.error;
    }
  });
  if (outputError >= 0) return outputFailed(outputError);
  std::fflush(stdout);
  zc::unloadAllModules();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return outputFailed(errno);
  return status;
}
