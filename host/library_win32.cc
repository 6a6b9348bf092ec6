// <windows.h> comes first: the other Windows headers build on it.
#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include "host/library.h"
#include "platform/platform.h"

namespace zc {
namespace {

std::wstring wide(const std::string& utf8) {
  const std::u16string text = platform::fromUtf8(utf8);
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::string utf8(const wchar_t* text) {
  return platform::toUtf8(reinterpret_cast<const char16_t*>(text));
}

}  // namespace

void* openLibrary(const std::string& path, std::string* error) {
  HMODULE library = LoadLibraryW(wide(path).c_str());
  if (!library) {
    wchar_t* message = nullptr;
    const DWORD code = GetLastError();
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    *error = message ? utf8(message) : "error " + std::to_string(code);
    while (!error->empty() && (error->back() == '\n' || error->back() == '\r')) error->pop_back();
    if (message) LocalFree(message);
  }
  return library;
}

void* librarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

std::string executableDirectory() {
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  std::string path = utf8(std::wstring(buffer, n).c_str());
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? "." : path.substr(0, separator);
}

std::string moduleFileName(const std::string& directory, const std::string& name) {
  return directory + "\\" + name + ".dll";
}

std::string moduleDirectory() {
  // The DLLs stay beside the program on Windows.
  return executableDirectory();
}

void setEnvironment(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}

std::optional<std::u16string> environmentText(std::u16string_view name) {
  const std::wstring key(name.begin(), name.end());
  const wchar_t* value = _wgetenv(key.c_str());
  if (!value) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(value));
}

void setEnvironmentText(std::u16string_view name, std::u16string_view value) {
  const std::wstring key(name.begin(), name.end()), text(value.begin(), value.end());
  _wputenv_s(key.c_str(), text.c_str());
}

bool standardInputIsTerminal() {
  return _isatty(0) != 0;
}

// One argument as the C runtime's command-line parser reads it back:
// quoted when it holds blanks or quotes, backslashes doubled before a quote.
static void appendArgument(std::wstring* line, const std::u16string& argument) {
  if (!line->empty()) *line += L' ';
  if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
    line->append(argument.begin(), argument.end());
    return;
  }
  *line += L'"';
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == u'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    *line += static_cast<wchar_t>(c);
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

std::optional<int64_t> startProgram(const std::vector<std::u16string>& arguments) {
  if (arguments.empty() || arguments[0].empty()) return std::nullopt;
  std::wstring line;
  for (const std::u16string& argument : arguments) appendArgument(&line, argument);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  fflush(nullptr);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return std::nullopt;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int64_t>(process.dwProcessId);
}

FILE* openFileUtf8(const std::string& path, const char* mode) {
  return _wfopen(wide(path).c_str(), wide(mode).c_str());
}

}  // namespace zc
