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
                                       "invalid name", "input/output error", "not in its format",
                                       "failed"};
  static_assert(sizeof kKinds / sizeof kKinds[0] == static_cast<size_t>(ErrorKind::kOther) + 1);
  std::string text = operation_ + " " + toUtf8(path_) + ": " + kKinds[static_cast<int>(kind_)];
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

bool isTempName(std::u16string_view name, std::u16string_view prefix) {
  constexpr std::u16string_view kSuffix = u".tmp";
  return name.size() == prefix.size() + kTempUniqueLength + kSuffix.size() &&
         name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - kSuffix.size()) == kSuffix;
}

namespace {

// A byte no file reaches (see the dBASE and slide-library writers).
constexpr uint64_t kNameLockOffset = uint64_t{1} << 62;

class FileNameLock : public NameLock {
 public:
  explicit FileNameLock(std::unique_ptr<File> file) : file_(std::move(file)) {}
  ~FileNameLock() override {
    if (file_) file_->close();
  }

 private:
  std::unique_ptr<File> file_;
};

}  // namespace

Status lockFileOfName(Env& env, std::u16string_view path, int timeoutMs,
                      std::unique_ptr<NameLock>* lock) {
  lock->reset();
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<File> file;
    // A lock needs a file open for writing; one nobody may write needs none.
    Status s = env.openFile(path, OpenMode::kReadWrite, &file);
    if (s.kind() == ErrorKind::kNotFound || s.kind() == ErrorKind::kAccessDenied) return Status();
    if (s.ok()) s = file->lock(kNameLockOffset, 1, timeoutMs);
    uint64_t volume = 0, id = 0;
    FileInfo now;
    if (s.ok()) s = file->identify(&volume, &id);
    if (s.ok()) s = env.fileInfo(path, &now);
    if (!s.ok()) return s;
    if ((now.volume == volume && now.fileId == id) || attempt == 100) {
      *lock = std::make_unique<FileNameLock>(std::move(file));
      return Status();
    }
  }
}

bool fileExists(Env& env, std::u16string_view path) {
  FileInfo info;
  return !path.empty() && env.fileInfo(path, &info).ok();
}

Status readExactly(File& file, uint64_t offset, void* data, size_t n) {
  auto* out = static_cast<unsigned char*>(data);
  size_t done = 0;
  while (done < n) {
    size_t got = 0;
    Status s = file.read(offset + done, out + done, n - done, &got);
    if (!s.ok()) return s;
    if (got == 0) {
      return Status::error(ErrorKind::kIoError, 0,
                           "read " + std::to_string(n) + " bytes at " + std::to_string(offset) +
                               " (" + std::to_string(done) + " read: the file ends there) from",
                           file.path());
    }
    done += got;
  }
  return Status();
}

Status readWholeFile(Env& env, std::u16string_view path, std::string* bytes) {
  std::unique_ptr<File> file;
  Status s = env.openFile(path, OpenMode::kRead, &file);
  uint64_t size = 0;
  if (s.ok()) s = file->size(&size);
  if (s.ok()) {
    bytes->assign(static_cast<size_t>(size), '\0');
    s = readExactly(*file, 0, bytes->data(), bytes->size());
  }
  if (file) {
    const Status closed = file->close();
    if (s.ok()) s = closed;
  }
  return s;
}

Status writeWholeFile(Env& env, std::u16string_view path, std::string_view bytes) {
  std::unique_ptr<File> file;
  Status s = env.openFile(path, OpenMode::kCreateTruncate, &file);
  if (s.ok()) s = file->write(0, bytes.data(), bytes.size());
  if (file) {
    const Status closed = file->close();
    if (s.ok()) s = closed;
  }
  return s;
}

void writeStandardOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace platform
