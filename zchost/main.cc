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

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#endif

#include "cli/command_line.h"
#include "cli/escapes.h"
#include "host/host.h"
#include "host/library.h"
#include "line_input.h"
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
    "  --codepage N       the ANSI code page for this run; unset, the environment\n"
    "                     variable ANSI_CODEPAGE, else the one Windows gives the\n"
    "                     locale's language: 950 zh_TW, zh_HK and the C locale,\n"
    "                     936 zh_CN, 932 ja, 949 ko, 1251 ru, 1252 en, de, fr\n"
    "  --exact-reals      print reals in the shortest form that reads back as the\n"
    "                     same real (1.2100000000000002), not with six significant\n"
    "                     digits as the CAD host prints them (1.21)\n"
    "  -e EXPR            evaluate the forms in EXPR\n"
    "  -v, --verbose      after a module's failure message, write its cause (the\n"
    "                     system's error) to standard error\n"
    "  FILE               evaluate the forms of a LISP file (UTF-8, UTF-16 with its\n"
    "                     mark, or the ANSI code page); - reads standard input\n"
    "  -h, --help         show this text\n"
    "  --version          show the version and the ANSI code page in use\n"
    "\n"
    "Options may stand anywhere, as --name=value, and letters together\n"
    "(-vlcalden); after --, every word is a FILE.\n"
    "\n"
    "Without -e or FILE, zchost reads forms from standard input and prints the\n"
    "value of each, as the CAD host's command line does. At a terminal the line\n"
    "is edited (history in ~/.zchost_history, Tab completes names), !x prints\n"
    "the value of x, Ctrl-C cancels the running form or the line being typed\n"
    "and keeps all definitions, and a second Ctrl-C at an empty prompt, or\n"
    "Ctrl-D, leaves.\n"
    "\n"
    "The get functions read their answers from standard input, a line each\n"
    "(zchost script.lsp < answers.txt), and answer nil at its end:\n"
    "  getstring [CR] [MSG]  a line of text; without CR a space ends it\n"
    "  getint, getreal       a number; getint's from -32768 to 32767\n"
    "  getkword              one of the keywords initget gave\n"
    "  getpoint, getcorner   a point typed as x,y or x,y,z (@dx,dy from the last)\n"
    "  getdist               a distance in any of the units' forms, or two points\n"
    "  getangle, getorient   an angle (45, 45d30', 50g, 0.78r, N45dE), or two points\n"
    "  initget [BITS] [KEYWORDS]\n"
    "                        for the next request: 1 no empty answer, 2 no zero,\n"
    "                        4 no negative, 128 any text; keywords as LType (LT\n"
    "                        is enough) or LTYPE,LT\n"
    "An answer that does not do is refused with the host's message and asked\n"
    "again.\n"
    "\n"
    "Exit status: 0 when every form ran (at a terminal's prompt, when the last\n"
    "one did), 1 when a form ended in an error or standard output could not be\n"
    "written, 2 for a usage error or a module that cannot be loaded; (exit N)\n"
    "ends with N.\n";

constexpr char kBanner[] =
    "zchost " ZC_VERSION ": LISP with the CAD host's modules. Ctrl-D leaves; Ctrl-C cancels.\n";

// The stack of the thread the LISP runs on.
constexpr size_t kStackBytes = size_t{128} << 20;

struct Source {
  bool isExpression;
  std::string text;  // the expression, or the file name
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "zchost: %s\n", cli::terminalText(message).c_str());
  cli::tryHelp("zchost");
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
  Session(zchost::LineInput& input, lisp::Reals reals) : input_(input) {
    lisp_.setReals(reals);
    lisp_.setErrorOutput([this](const lisp::Error& error) {
      failed_ = lastFailed_ = true;
      if (error.cancelled) {
        cancelled_ = true;
        zc::writeOutput("\n");  // after the ^C the terminal shows
      }
      reportError(error);
    });
    // The get functions read standard input, a line at a time, as the
    // forms typed at the prompt are.
    lisp_.setInput([this](std::string_view prompt, std::string* line) {
      switch (input_.read(prompt, line)) {
        case zchost::LineInput::Result::kLine:
          if (zc::standardInputIsTerminal()) zc::noteLineStart();  // the terminal echoed it
          return lisp::InputStatus::kLine;
        case zchost::LineInput::Result::kInterrupted:
          return lisp::InputStatus::kCancelled;
        case zchost::LineInput::Result::kFailed:
          throw lisp::Error{
              std::string("cannot read standard input: ") + std::strerror(input_.error()), ""};
        case zchost::LineInput::Result::kEnd:
          break;
      }
      return lisp::InputStatus::kEnd;
    });
    input_.setNames([this] {
      std::vector<std::string> names;
      lisp_.forEachSymbol([&](lisp::Symbol* symbol) {
        const std::u16string& name = lisp::Interpreter::nameOf(symbol);
        if (!name.empty() && (!lisp_.symbolValue(name).isNil() || zc::isDefined(name))) {
          names.push_back(platform::toUtf8(name));
        }
      });
      return names;
    });
  }

  bool failed() const { return failed_ || lisp_.failed(); }
  // Whether the last top-level form typed at the prompt ended in an error.
  bool lastFailed() const { return lastFailed_; }

  void expression(const std::string& text) {
    lisp::Script script(lisp_, "", lisp::Script::Mode::kTopLevel, lisp::Encoding::kUtf8);
    script.afterForm([](const lisp::Value*) { flushOutput(); });
    script.feed(text);
    script.finish();
  }

  // Evaluates a stream of text (a file, standard input) form by form as its
  // pieces arrive; `next` gives the next piece, false at the end.
  void stream(const std::function<bool(std::string*)>& next, const std::string& source) {
    lisp::Script script(lisp_, source, lisp::Script::Mode::kTopLevel);
    script.afterForm([](const lisp::Value*) { flushOutput(); });
    std::string piece;
    for (;;) {
      try {
        if (!next(&piece)) break;
      } catch (const InputFailed& failed) {
        failed_ = true;
        reportError(lisp::Error{
            "cannot read " + cli::terminalText(source) + ": " + std::strerror(failed.error), ""});
        return;
      }
      if (!script.feed(piece)) return;
    }
    script.finish();
  }

  // The read-evaluate-print loop on standard input: at a terminal with the
  // host's prompts, line editing and Ctrl-C; `!x` prints x's value, as at
  // the host's command line.
  void repl(bool terminal) {
    lisp::Script script(lisp_, "", lisp::Script::Mode::kTopLevel);
    script.afterForm([this](const lisp::Value* value) {
      lastFailed_ = value == nullptr;
      if (value) printValue(*value);
      flushOutput();
    });
    bool armed = false;  // a Ctrl-C came last: another at an empty prompt leaves
    std::string line;
    for (;;) {
      const char* prompt = !terminal ? "" : script.midForm() ? "(_> " : "Command: ";
      cancelled_ = false;
      const zchost::LineInput::Result result = input_.read(prompt, &line);
      if (result == zchost::LineInput::Result::kFailed) {
        failed_ = lastFailed_ = true;
        reportError(lisp::Error{
            std::string("cannot read standard input: ") + std::strerror(input_.error()), ""});
        return;
      }
      if (result == zchost::LineInput::Result::kEnd) break;
      if (result == zchost::LineInput::Result::kInterrupted) {
        const bool empty = !script.midForm() && !input_.droppedText();
        script.dropPending();
        if (armed && empty) return;
        if (empty) zc::writeOutput("Press Ctrl-C again or Ctrl-D to leave.\n");
        armed = true;
        continue;
      }
      if (terminal) zc::noteLineStart();  // the terminal echoed the newline
      input_.remember(line);
      armed = false;
      if (!script.midForm()) {
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '!') line.erase(0, first + 1);
      }
      if (!script.feed(line)) return;
      if (cancelled_) armed = true;
    }
    script.finish();
    if (terminal && !zc::outputAtLineStart()) zc::writeOutput("\n");
  }

 private:
  // A value on a line of its own, as prin1 writes it; (princ) writes none.
  void printValue(const lisp::Value& value) {
    const std::string text = lisp::prin1String(value, lisp_.reals());
    if (text.empty()) return;
    if (!zc::outputAtLineStart()) zc::writeOutput("\n");
    zc::writeOutput(text + "\n");
  }

  zchost::LineInput& input_;
  lisp::Interpreter lisp_;
  bool failed_ = false;
  bool lastFailed_ = false;
  bool cancelled_ = false;
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

}  // namespace

// Ends a run whose standard output failed, saying why on standard error; a
// reader that went away (a closed pipe) ends it quietly, as it does cat.
static int outputFailed(int error) {
  zc::unloadAllModules();
  if (const int ended = cli::endOnClosedPipe(error)) return ended;
  std::fprintf(stderr, "zchost: cannot write standard output: %s\n", std::strerror(error));
  return 1;
}

namespace {

// What the command line asks for.
struct Options {
  std::vector<std::string> modules;
  std::vector<Source> sources;
  lisp::Reals reals = lisp::Reals::kHost;
};

// The options zchost knows.
const std::vector<cli::OptionSpec> kOptions = {
    {"help", 'h', false},     {"version", '\0', false},     {"load", 'l', true},
    {"codepage", '\0', true}, {"exact-reals", '\0', false}, {"verbose", 'v', false},
    {"", 'e', true},
};

// Reads the options into *options. An exit status when the run ends here
// (help, version, a usage error); -1 when it goes on.
int parseArguments(const std::vector<std::string>& arguments, Options* options) {
  std::vector<cli::Word> words;
  std::string problem;
  if (!cli::readWords(std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1),
                                               arguments.end()),
                      kOptions, &words, &problem)) {
    return usageError(problem);
  }
  for (const cli::Word& word : words) {
    if (word.text == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  bool version = false;
  for (const cli::Word& word : words) {
    if (!word.isOption) {
      options->sources.push_back({false, word.text});
    } else if (word.text == "--version") {
      version = true;
    } else if (word.text == "--load") {
      options->modules.push_back(word.value);
    } else if (word.text == "--codepage") {
      if (!cli::useCodePage(word.value, &problem)) return usageError(problem);
    } else if (word.text == "--exact-reals") {
      options->reals = lisp::Reals::kExact;
    } else if (word.text == "--verbose") {
      zc::setEnvironment("ZC_DIAGNOSTICS", "1");
    } else if (word.text == "-e") {
      options->sources.push_back({true, word.value});
    }
  }
  if (version) {  // with the code page the run would use, --codepage's among the options
    std::printf("zchost %s\nANSI code page %d\n", ZC_VERSION, platform::ansiCodePage());
    return 0;
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
  session.stream([&](std::string* piece) { return readPiece(in.get(), piece); }, name);
  return true;
}

// Runs the sources in order (standard input, interactively, when there are
// none) and answers the exit status: the one (exit) gave, else 1 when a
// form failed or a script could not be read. Throws OutputFailed.
int runSources(const std::vector<Source>& sources, lisp::Reals reals) {
  // The prompt's loop at a terminal: Ctrl-C cancels instead of ending the
  // run, and a line edited with libedit.
  const bool terminal = sources.empty() && zc::standardInputIsTerminal();
  if (terminal) zchost::cancelOnInterrupt();
  zchost::LineInput input(terminal);
  Session session(input, reals);
  bool unreadable = false;
  try {
    if (terminal) zc::writeOutput(kBanner);
    if (sources.empty()) session.repl(terminal);
    for (const Source& source : sources) {
      if (source.isExpression) {
        session.expression(source.text);
      } else if (source.text == "-") {
        session.stream(readStandardInput, "-");
      } else if (!runScriptFile(session, source.text)) {
        unreadable = true;
      }
    }
    flushOutput();
  } catch (const lisp::ExitRequest& request) {
    if (request.given) return request.status & 255;
    return (terminal ? session.lastFailed() : session.failed()) ? 1 : 0;
  }
  // Leaving the prompt at a terminal: how the last form ended.
  if (terminal) return session.lastFailed() ? 1 : 0;
  return session.failed() || unreadable ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(SIGPIPE)
  // A closed pipe is a failed write, seen where it happens (outputFailed
  // ends the run as the signal would, once the modules are unloaded).
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
    // tens of thousands of calls deep. At the prompt, that thread alone takes
    // Ctrl-C, so that it interrupts the read that waits for a line.
#if !defined(_WIN32)
  if (options.sources.empty() && zc::standardInputIsTerminal()) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }
#endif
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
