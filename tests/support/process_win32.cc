#include <windows.h>

#include <thread>

#include "platform/platform.h"
#include "support/process.h"
#include "support/test_support.h"

namespace test {
namespace {

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring quote(const std::string& utf8) {
  const std::u16string text = platform::fromUtf8(utf8);
  std::wstring arg(reinterpret_cast<const wchar_t*>(text.data()), text.size());
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      out.append(backslashes * 2 + 1, L'\\');
    else
      out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring commandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& a : argv) line += (line.empty() ? L"" : L" ") + quote(a);
  return line;
}

void drain(HANDLE pipe, std::string* out) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) out->append(buffer, n);
}

struct Pipe {
  HANDLE read = nullptr, write = nullptr;
  explicit Pipe(bool childReads) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
  }
};

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
  Pipe in(true), out(false), err(false);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.read;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine(argv);
  ProcessResult result;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return result;
  }
  CloseHandle(in.read);
  CloseHandle(out.write);
  CloseHandle(err.write);
  std::thread readOut(drain, out.read, &result.out);
  std::thread readErr(drain, err.read, &result.err);
  DWORD written = 0;
  if (!input.empty())
    WriteFile(in.write, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  CloseHandle(in.write);
  readOut.join();
  readErr.join();
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.status = static_cast<int>(code);
  CloseHandle(out.read);
  CloseHandle(err.read);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::string programPath(const std::string& name) {
  return binDir() + "\\" + name + ".exe";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  // The child's standard streams go nowhere: it must never hold the
  // parent's output open after it is killed.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE null =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine(argv);
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      DETACHED_PROCESS, nullptr, nullptr, &startup, &process);
  CloseHandle(null);
  if (started) {
    CloseHandle(process.hThread);
    id_ = reinterpret_cast<long long>(process.hProcess);
  } else {
    done_ = true;
  }
}

ChildProcess::~ChildProcess() {
  if (!done_) kill();
}

void ChildProcess::kill() {
  if (done_) return;
  TerminateProcess(reinterpret_cast<HANDLE>(id_), 137);
  wait();
  status_ = -1;
}

int ChildProcess::wait() {
  if (done_) return status_;
  HANDLE process = reinterpret_cast<HANDLE>(id_);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  done_ = true;
  status_ = static_cast<int>(code);
  return status_;
}

}  // namespace test
