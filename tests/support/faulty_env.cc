#include "support/faulty_env.h"

#include <algorithm>
#include <string_view>

namespace test {
namespace {

using platform::Status;

class FaultyFile : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> file, FaultyEnv* env)
      : file_(std::move(file)), env_(env) {}

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    if (env_->strike("read")) {
      // A short read is no failure: fewer bytes come back than asked for,
      // but never none, which would be the end of the file.
      if (env_->fault() == Fault::kShortRead) {
        return file_->read(offset, data, std::max<size_t>(1, n / 2), got);
      }
      return env_->injectedFailure("read");
    }
    return file_->read(offset, data, n, got);
  }
  Status write(uint64_t offset, const void* data, size_t n) override {
    if (env_->writesFail()) {
      (void)file_->write(offset, data, n / 2);  // half, as a full disk takes
      return env_->injectedFailure("write");
    }
    if (env_->strike("write")) {
      // A write that fails by itself may have reached the file in part; a
      // crashed program writes nothing more.
      if (!env_->crashing()) (void)file_->write(offset, data, n / 2);
      return env_->injectedFailure("write");
    }
    return file_->write(offset, data, n);
  }
  // A copy between files is one operation, which fails as a write does:
  // a full disk or a failing device may have taken part of it first.
  Status copyFrom(File& source, uint64_t sourceOffset, uint64_t offset, uint64_t n) override {
    auto* faulty = dynamic_cast<FaultyFile*>(&source);
    File& from = faulty ? *faulty->file_ : source;
    if (env_->writesFail()) {
      (void)file_->copyFrom(from, sourceOffset, offset, n / 2);
      return env_->injectedFailure("copy");
    }
    if (env_->strike("copy")) {
      if (!env_->crashing()) (void)file_->copyFrom(from, sourceOffset, offset, n / 2);
      return env_->injectedFailure("copy");
    }
    return file_->copyFrom(from, sourceOffset, offset, n);
  }
  Status size(uint64_t* size) override {
    if (env_->strike("size")) return env_->injectedFailure("size");
    return file_->size(size);
  }
  Status truncate(uint64_t size) override {
    if (env_->strike("truncate")) return env_->injectedFailure("truncate");
    return file_->truncate(size);
  }
  Status sync() override {
    if (env_->strike("sync")) return env_->injectedFailure("sync");
    return file_->sync();
  }
  std::u16string path() const override { return file_->path(); }
  Status lock(uint64_t offset, uint64_t length, int timeoutMs) override {
    if (env_->strike("lock")) return env_->injectedFailure("lock");
    return file_->lock(offset, length, timeoutMs);
  }
  Status stat(platform::FileInfo* info) override {
    if (env_->strike("fstat")) return env_->injectedFailure("fstat");
    return file_->stat(info);
  }
  Status setAttributes(uint32_t attributes) override {
    if (env_->strike("fchmod")) return env_->injectedFailure("fchmod");
    return file_->setAttributes(attributes);
  }
  Status setOwner(uint32_t owner, uint32_t group) override {
    if (env_->strike("fchown")) return env_->injectedFailure("fchown");
    return file_->setOwner(owner, group);
  }
  Status setModified(int64_t modified) override {
    if (env_->strike("futimens")) return env_->injectedFailure("futimens");
    return file_->setModified(modified);
  }
  Status close() override {
    // The file is closed either way: a failing close still releases it.
    const Status closed = file_->close();
    if (env_->strike("close")) return env_->injectedFailure("close");
    return closed;
  }

 private:
  std::unique_ptr<platform::File> file_;
  FaultyEnv* env_;
};

}  // namespace

bool FaultyEnv::strike(const char* what) {
  ++count_;
  bool fails = !failName_.empty() ? (persistent_ || !injected_) && failName_ == what
               : persistent_      ? failAt_ > 0 && count_ >= failAt_
                                  : count_ == failAt_;
  if (count_ == failAt_) lastFailed_ = what;
  // Only a read can come back short; every other operation goes through.
  if (fault_ == Fault::kShortRead && std::string_view(what) != "read") fails = false;
  if (fails && !injected_) lastFailed_ = what;
  injected_ = injected_ || fails;
  return fails;
}

const char* faultName(Fault fault) {
  switch (fault) {
    case Fault::kNoSpace:
      return "ENOSPC";
    case Fault::kBusy:
      return "EBUSY";
    case Fault::kAccessDenied:
      return "EACCES";
    case Fault::kIoError:
      return "EIO";
    case Fault::kTooManyFiles:
      return "EMFILE";
    case Fault::kShortRead:
      return "short read";
  }
  return "?";
}

Status FaultyEnv::openFile(std::u16string_view path, platform::OpenMode mode,
                           std::unique_ptr<platform::File>* file) {
  const bool creating =
      mode == platform::OpenMode::kCreateNew || mode == platform::OpenMode::kCreateTemporary;
  const char* what = creating ? "create" : "open";
  if (strike(what)) return injectedFailure(what);
  std::unique_ptr<platform::File> opened;
  Status s = EnvWrapper::openFile(path, mode, &opened);
  if (s.ok()) *file = std::make_unique<FaultyFile>(std::move(opened), this);
  return s;
}

Status FaultyEnv::fileInfo(std::u16string_view path, platform::FileInfo* info) {
  if (strike("stat")) return injectedFailure("stat");
  return EnvWrapper::fileInfo(path, info);
}

Status FaultyEnv::entryInfo(std::u16string_view path, platform::FileInfo* info) {
  if (strike("lstat")) return injectedFailure("lstat");
  return EnvWrapper::entryInfo(path, info);
}

Status FaultyEnv::listFolder(std::u16string_view folder, bool wantSizes,
                             std::vector<platform::DirEntry>* entries) {
  if (strike("list")) return injectedFailure("list");
  return EnvWrapper::listFolder(folder, wantSizes, entries);
}

Status FaultyEnv::scanFolder(std::u16string_view folder, platform::FolderScan& scan) {
  if (strike("list")) return injectedFailure("list");
  return EnvWrapper::scanFolder(folder, scan);
}

Status FaultyEnv::renameReplacing(std::u16string_view from, std::u16string_view to) {
  if (strike("rename")) return injectedFailure("rename");
  return EnvWrapper::renameReplacing(from, to);
}

Status FaultyEnv::renameNoReplace(std::u16string_view from, std::u16string_view to) {
  if (strike("rename")) return injectedFailure("rename");
  return EnvWrapper::renameNoReplace(from, to);
}

Status FaultyEnv::linkFile(std::u16string_view existing, std::u16string_view link) {
  if (strike("link")) return injectedFailure("link");
  return EnvWrapper::linkFile(existing, link);
}

Status FaultyEnv::removeFile(std::u16string_view path) {
  if (strike("remove")) return injectedFailure("remove");
  return EnvWrapper::removeFile(path);
}

Status FaultyEnv::createDirectory(std::u16string_view path) {
  if (strike("mkdir")) return injectedFailure("mkdir");
  return EnvWrapper::createDirectory(path);
}

Status FaultyEnv::syncDirectory(std::u16string_view folder) {
  if (strike("sync folder")) return injectedFailure("sync folder");
  return EnvWrapper::syncDirectory(folder);
}

Status FaultyEnv::resolveLink(std::u16string_view path, std::u16string* resolved) {
  if (strike("resolve")) return injectedFailure("resolve");
  return EnvWrapper::resolveLink(path, resolved);
}

Status FaultyEnv::lockName(std::u16string_view path, int timeoutMs,
                           std::unique_ptr<platform::NameLock>* lock) {
  if (strike("lock name")) return injectedFailure("lock name");
  return EnvWrapper::lockName(path, timeoutMs, lock);
}

}  // namespace test
