// The outcome of a platform service: success, or the cause of a failure.
//
// A failing service makes its Status where the failure happens, from errno on
// POSIX or GetLastError() on Windows, with the operation and the path it
// concerned. Callers branch on kind(); people diagnosing a failure read
// toString().
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class ErrorKind {
  kOk,
  kNotFound,      // no such file or folder, or nothing matched
  kAccessDenied,  // permissions, a read-only file, a folder where a file was expected
  kBusy,          // held by another program: a sharing violation or a lock
  kExists,        // the name is taken
  kNoSpace,       // the disk or a quota is full
  kInvalidName,   // a name the file system refuses
  kIoError,       // the device failed, or a read or write came up short
  kCorrupt,       // the bytes are not in the format they should be in
  kOther,
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // success

  static Status error(ErrorKind kind, int systemError, std::string_view operation,
                      std::u16string_view path) {
    Status s;
    s.kind_ = kind;
    s.systemError_ = systemError;
    s.operation_ = operation;
    s.path_ = path;
    return s;
  }

  bool ok() const { return kind_ == ErrorKind::kOk; }
  ErrorKind kind() const { return kind_; }
  // errno on POSIX, GetLastError() on Windows; 0 when the system gave none.
  int systemError() const { return systemError_; }
  // What was being done: "open", "read 36 bytes at 1024 (12 read: the file
  // ends there)".
  const std::string& operation() const { return operation_; }
  const std::u16string& path() const { return path_; }

  // "open parts.dbf: access denied (system error 13: Permission denied)".
  std::string toString() const;

 private:
  ErrorKind kind_ = ErrorKind::kOk;
  int systemError_ = 0;
  std::string operation_;
  std::u16string path_;
};

// The Status of a failed POSIX call (errno) or Win32 call (GetLastError()).
Status posixError(const char* operation, std::u16string_view path, int error);
Status windowsError(const char* operation, std::u16string_view path, unsigned long error);

// The system's text for an error number of this platform.
std::string systemErrorText(int error);

// When the environment variable ZC_DIAGNOSTICS is set and not empty, writes
// "; cause: " and status.toString() to standard error. zchost -v sets it; the
// modules call this after the message a failure prints, so that the cause
// reaches whoever is diagnosing it without changing what LISP sees.
void reportCause(const Status& status);

}  // namespace platform
