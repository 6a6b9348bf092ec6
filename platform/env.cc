// File-service helpers and statuses, the same on every platform.
#include <cstdio>
#include <cstdlib>

#include "platform/env.h"
#include "platform/text.h"

namespace platform {

std::string Status::toString() const {
  if (ok()) return "ok";
  static const char* const kKinds[] = {"ok",           "not found",          "access denied",
                                       "busy",         "already exists",     "no space left",
                                       "invalid name", "input/output error", "injected failure",
                                       "failed"};
  std::string text =
      std::string(operation_) + " " + toUtf8(path_) + ": " + kKinds[static_cast<int>(kind_)];
  if (systemError_ != 0) {
    text += " (system error " + std::to_string(systemError_) + ": " +
            systemErrorText(systemError_) + ")";
  }
  return text;
}

void reportCause(const Status& status) {
  const char* wanted = std::getenv("ZC_DIAGNOSTICS");
  if (status.ok() || !wanted || !*wanted) return;
  std::fflush(stdout);
  std::fprintf(stderr, "; cause: %s\n", status.toString().c_str());
  std::fflush(stderr);
}

bool fileExists(Env& env, std::u16string_view path) {
  FileInfo info;
  return !path.empty() && env.fileInfo(path, &info).ok();
}

Status readExactly(File& file, uint64_t offset, void* data, size_t n) {
  auto* out = static_cast<unsigned char*>(data);
  while (n > 0) {
    size_t got = 0;
    Status s = file.read(offset, out, n, &got);
    if (!s.ok()) return s;
    if (got == 0) return Status::error(ErrorKind::kIoError, 0, "read (the file ends early)", u"");
    offset += got;
    out += got;
    n -= got;
  }
  return Status();
}

void writeStandardOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace platform
