// Lines typed at zchost; see line_input.h.
#include "line_input.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "host/host.h"
#include "host/library.h"
#include "lisp/lisp.h"
#include "platform/env.h"
#include "platform/file_writes.h"
#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#endif

#if defined(ZC_HAVE_LIBEDIT)
#include <histedit.h>
#endif

namespace zchost {
namespace {

// Reads a line of standard input with stdio, its '\n' kept.
LineInput::Result readPlainLine(std::string* line, int* error) {
  line->clear();
  char buffer[4096];
  for (;;) {
    errno = 0;
    if (std::fgets(buffer, sizeof buffer, stdin)) {
      line->append(buffer);
      if (line->back() == '\n') return LineInput::Result::kLine;
      continue;
    }
    if (!std::ferror(stdin)) break;  // the end
    std::clearerr(stdin);
    if (lisp::takeCancel()) {
      line->clear();
      return LineInput::Result::kInterrupted;
    }
    if (errno != EINTR) {
      *error = errno;
      return LineInput::Result::kFailed;
    }
  }
#if defined(_WIN32)
  // A console's read ends at Ctrl-C as at the end of the input, and the
  // handler that says it was Ctrl-C runs on a thread of its own: give it a
  // moment.
  if (line->empty() && !lisp::detail::cancelRequested.load() && zc::standardInputIsTerminal()) {
    Sleep(100);
  }
#endif
  if (lisp::takeCancel()) {
    std::clearerr(stdin);
    line->clear();
    return LineInput::Result::kInterrupted;
  }
  return line->empty() ? LineInput::Result::kEnd : LineInput::Result::kLine;
}

void showPrompt(std::string_view prompt) {
  if (prompt.empty()) return;
  zc::writeOutput(prompt);
  std::fflush(stdout);
}

}  // namespace

#if defined(ZC_HAVE_LIBEDIT)

// libedit at a terminal. Its line reader gets the keys from readKey, so that
// Ctrl-C (which interrupts the read) drops the line being typed.
struct LineInput::Editor {
  EditLine* el = nullptr;
  History* history = nullptr;
  HistEvent event;
  std::string prompt;
  std::u16string historyPath;
  std::function<std::vector<std::string>()> names;
  std::mbstate_t state{};
  bool changed = false;

  Editor() {
    std::setlocale(LC_CTYPE, "");  // the terminal's encoding
    el = el_init("zchost", stdin, stdout, stderr);
    history = history_init();
    ::history(history, &event, H_SETSIZE, 1000);
    ::history(history, &event, H_SETUNIQUE, 1);
    el_set(el, EL_CLIENTDATA, this);
    el_set(el, EL_EDITOR, "emacs");
    el_set(el, EL_HIST, ::history, history);
    el_set(el, EL_PROMPT, &Editor::promptText);
    el_set(el, EL_GETCFN, &Editor::readKey);
    // Given as wide text that outlives the editor: libedit keeps these
    // pointers, and the copies its narrow el_set makes are never freed.
    el_wset(el, EL_ADDFN, L"zc-complete", L"Complete a function or symbol name", &Editor::complete);
    el_set(el, EL_BIND, "^I", "zc-complete", nullptr);
    el_source(el, nullptr);  // the user's ~/.editrc
    if (std::optional<std::u16string> home = zc::environmentText(u"HOME"); home && !home->empty()) {
      historyPath = *home + u"/.zchost_history";
      load();
    }
  }

  ~Editor() {
    save();
    history_end(history);
    el_end(el);
  }

  static Editor* of(EditLine* el) {
    void* data = nullptr;
    el_get(el, EL_CLIENTDATA, &data);
    return static_cast<Editor*>(data);
  }

  static char* promptText(EditLine* el) { return of(el)->prompt.data(); }

  // The next key as a wide character; -1 when Ctrl-C interrupted the read
  // (or it failed), 0 at the end of the input.
  static int readKey(EditLine* el, wchar_t* key) {
    Editor* editor = of(el);
    for (;;) {
      // Ctrl-C may come before the read begins, and then interrupts
      // nothing: the wait looks at the request every tenth of a second.
      if (lisp::detail::cancelRequested.load()) return -1;
      pollfd wait{STDIN_FILENO, POLLIN, 0};
      const int ready = ::poll(&wait, 1, 100);
      if (ready < 0 && errno != EINTR) return -1;
      if (ready <= 0) continue;
      unsigned char byte;
      const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
      if (n == 0) return 0;
      if (n < 0) {
        if (errno == EINTR && !lisp::detail::cancelRequested.load()) continue;
        return -1;
      }
      const size_t got = std::mbrtowc(key, reinterpret_cast<const char*>(&byte), 1, &editor->state);
      if (got == static_cast<size_t>(-2)) continue;  // more bytes of the character
      if (got == static_cast<size_t>(-1)) {
        editor->state = std::mbstate_t{};
        *key = 0xFFFD;  // shown as such; the line is refused when read
        return 1;
      }
      return 1;
    }
  }

  // Tab: the name before the cursor completed as far as the defined names
  // agree; when they agree no further, the names are listed.
  static unsigned char complete(EditLine* el, int) {
    Editor* editor = of(el);
    const LineInfo* line = el_line(el);
    const char* start = line->cursor;
    while (start > line->buffer && !std::strchr(" \t()'\"", start[-1])) --start;
    const std::string typed(start, line->cursor);
    if (typed.empty() || !editor->names) return CC_ERROR;
    std::string upper = typed;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<std::string> found;
    for (const std::string& name : editor->names()) {
      if (name.starts_with(upper)) found.push_back(name);
    }
    if (found.empty()) return CC_ERROR;
    std::sort(found.begin(), found.end());
    std::string common = found.front();
    for (const std::string& name : found) {
      size_t k = 0;
      while (k < common.size() && k < name.size() && common[k] == name[k]) ++k;
      common.resize(k);
    }
    // Names are completed in the letter case typed.
    const bool lower =
        std::any_of(typed.begin(), typed.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    std::string rest = common.substr(typed.size());
    if (lower) {
      for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (found.size() == 1) rest += ' ';
    if (!rest.empty()) {
      el_insertstr(el, rest.c_str());
      return CC_REFRESH;
    }
    std::string list = "\n";
    for (const std::string& name : found) list += name + "  ";
    list += "\n";
    std::fputs(list.c_str(), stdout);
    std::fflush(stdout);
    return CC_REDISPLAY;
  }

  // The history file: one line a entry, UTF-8.
  void load() {
    platform::Env& env = *platform::Env::defaultEnv();
    std::unique_ptr<platform::File> file;
    if (!env.openFile(historyPath, platform::OpenMode::kRead, &file).ok()) return;
    std::string text, chunk(1 << 16, '\0');
    for (uint64_t offset = 0;;) {
      size_t got = 0;
      if (!file->read(offset, chunk.data(), chunk.size(), &got).ok() || got == 0) break;
      text.append(chunk, 0, got);
      offset += got;
    }
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = std::min(text.find('\n', at), text.size());
      const std::string entry = text.substr(at, end - at);
      if (!entry.empty()) ::history(history, &event, H_ENTER, entry.c_str());
      at = end + 1;
    }
  }

  // Written whole through the project's writer, so that a history is never
  // half written; a history that cannot be written is let go.
  void save() {
    if (!changed || historyPath.empty()) return;
    std::string text;
    for (int ok = ::history(history, &event, H_LAST); ok == 0;
         ok = ::history(history, &event, H_PREV)) {
      text += event.str;
      text += '\n';
    }
    platform::NewFile made(*platform::Env::defaultEnv());
    if (!made.begin(historyPath).ok()) return;
    if (!made.file().write(0, text.data(), text.size()).ok()) return;
    const platform::Status published = made.publish();
    (void)published.ok();  // the history is a convenience: its loss is no error of the run
  }
};

LineInput::LineInput(bool editing) {
  if (editing && ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
    editor_ = std::make_unique<Editor>();
  }
}

LineInput::Result LineInput::read(std::string_view prompt, std::string* line) {
  droppedText_ = false;
  if (!editor_) {
    showPrompt(prompt);
    return readPlainLine(line, &error_);
  }
  // libedit draws the prompt's last line itself; what comes before it is
  // written as any output is.
  const size_t newline = prompt.rfind('\n');
  if (newline != std::string_view::npos) showPrompt(prompt.substr(0, newline + 1));
  std::fflush(stdout);
  editor_->prompt.assign(newline == std::string_view::npos ? prompt : prompt.substr(newline + 1));
  editor_->state = std::mbstate_t{};
  int count = 0;
  const char* got = el_gets(editor_->el, &count);
  zc::noteLineStart();
  if (lisp::takeCancel()) {
    const LineInfo* typed = el_line(editor_->el);
    droppedText_ = typed->lastchar != typed->buffer;
    std::fputs("\n", stdout);
    std::fflush(stdout);
    line->clear();
    return Result::kInterrupted;
  }
  if (!got || count <= 0) {
    if (count < 0) {
      error_ = errno;
      return Result::kFailed;
    }
    std::fputs("\n", stdout);  // Ctrl-D leaves the cursor after the prompt
    std::fflush(stdout);
    return Result::kEnd;
  }
  line->assign(got, static_cast<size_t>(count));
  return Result::kLine;
}

void LineInput::remember(std::string_view line) {
  if (!editor_) return;
  std::string entry(line);
  while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.pop_back();
  if (entry.find_first_not_of(" \t") == std::string::npos) return;
  ::history(editor_->history, &editor_->event, H_ENTER, entry.c_str());
  editor_->changed = true;
}

void LineInput::setNames(std::function<std::vector<std::string>()> names) {
  if (editor_) editor_->names = std::move(names);
}

#else  // without libedit: lines as they come

struct LineInput::Editor {};

LineInput::LineInput(bool) {}

LineInput::Result LineInput::read(std::string_view prompt, std::string* line) {
  droppedText_ = false;
  showPrompt(prompt);
  return readPlainLine(line, &error_);
}

void LineInput::remember(std::string_view) {}

void LineInput::setNames(std::function<std::vector<std::string>()>) {}

#endif

LineInput::~LineInput() = default;

#if defined(_WIN32)

namespace {
BOOL WINAPI cancelOnControlC(DWORD type) {
  if (type != CTRL_C_EVENT) return FALSE;  // Ctrl-Break and closing the console end the run
  lisp::requestCancel();
  return TRUE;
}
}  // namespace

void cancelOnInterrupt() {
  // Each module's copy of the platform layer would put its cleanup handler
  // in front of this one when it first makes a temporary file, and that
  // handler, which expects the process to end, would take Ctrl-C first and
  // leave the module unable to make another. At the prompt the modules add
  // none: the program's own handler still removes its temporary files when
  // Ctrl-Break or closing the console ends the run.
  SetEnvironmentVariableW(L"ZC_REMOVE_TEMPORARIES_ON_SIGNALS", nullptr);
  SetConsoleCtrlHandler(cancelOnControlC, TRUE);
}

#else

namespace {
void cancelOnSignal(int) {
  lisp::requestCancel();
}
}  // namespace

void cancelOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = cancelOnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read waiting for input returns
  ::sigaction(SIGINT, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

#endif

}  // namespace zchost
