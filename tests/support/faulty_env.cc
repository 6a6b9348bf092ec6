#include "support/faulty_env.h"

namespace test {
namespace {

using platform::Status;

class FaultyFile : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> file, FaultyEnv* env)
      : file_(std::move(file)), env_(env) {}

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    if (env_->strike("read")) {
      // A short read is no failure: fewer bytes come back than asked for.
      if (env_->fault() == Fault::kShortRead) return file_->read(offset, data, n / 2, got);
      return env_->injectedFailure("read");
    }
    return file_->read(offset, data, n, got);
  }
  Status write(uint64_t offset, const void* data, size_t n) override {
    if (env_->writesFail()) {
      file_->write(offset, data, n / 2);
      return env_->injectedFailure("write");
    }
    if (env_->strike("write")) {
      // A write that fails by itself may have reached the file in part; a
      // crashed program writes nothing more.
      if (!env_->crashing()) file_->write(offset, data, n / 2);
      return env_->injectedFailure("write");
    }
    return file_->write(offset, data, n);
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
  Status identify(uint64_t* volume, uint64_t* fileId) override {
    if (env_->strike("identify")) return env_->injectedFailure("identify");
    return file_->identify(volume, fileId);
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
  const bool fails = !failName_.empty() ? !injected_ && failName_ == what
                     : persistent_      ? failAt_ > 0 && count_ >= failAt_
                                        : count_ == failAt_;
  if (fails && !injected_) lastFailed_ = what;
  injected_ = injected_ || fails;
  return fails;
}

Status FaultyEnv::findFiles(std::u16string_view pattern, bool wantSizes,
                            std::vector<platform::DirEntry>* entries) {
  if (strike("find")) return injectedFailure("find");
  return EnvWrapper::findFiles(pattern, wantSizes, entries);
}

Status FaultyEnv::fileInfo(std::u16string_view path, platform::FileInfo* info) {
  if (strike("stat")) return injectedFailure("stat");
  return EnvWrapper::fileInfo(path, info);
}

Status FaultyEnv::copyFile(std::u16string_view from, std::u16string_view to) {
  if (strike("copy") || writesFail_) return injectedFailure("copy");
  return EnvWrapper::copyFile(from, to);
}

Status FaultyEnv::removeFile(std::u16string_view path) {
  if (strike("remove")) return injectedFailure("remove");
  return EnvWrapper::removeFile(path);
}

Status FaultyEnv::openFile(std::u16string_view path, platform::OpenMode mode,
                           std::unique_ptr<platform::File>* file) {
  if (strike("open")) return injectedFailure("open");
  std::unique_ptr<platform::File> opened;
  Status s = EnvWrapper::openFile(path, mode, &opened);
  if (s.ok()) *file = std::make_unique<FaultyFile>(std::move(opened), this);
  return s;
}

Status FaultyEnv::createTempFile(std::u16string_view directory, std::u16string_view prefix,
                                 std::u16string* path, std::unique_ptr<platform::File>* file) {
  if (strike("create temporary")) return injectedFailure("create temporary");
  std::unique_ptr<platform::File> created;
  Status s = EnvWrapper::createTempFile(directory, prefix, path, &created);
  if (s.ok()) *file = std::make_unique<FaultyFile>(std::move(created), this);
  return s;
}

Status FaultyEnv::replaceFile(std::u16string_view from, std::u16string_view to) {
  if (strike("replace")) return injectedFailure("replace");
  return EnvWrapper::replaceFile(from, to);
}

Status FaultyEnv::syncDirectory(std::u16string_view directory) {
  if (strike("sync folder")) return injectedFailure("sync folder");
  return EnvWrapper::syncDirectory(directory);
}

Status FaultyEnv::lockName(std::u16string_view path, int timeoutMs,
                           std::unique_ptr<platform::NameLock>* lock) {
  if (strike("lock name")) return injectedFailure("lock name");
  // The file lock goes through this Env, so that its operations can fail too.
  return platform::lockFileOfName(*this, path, timeoutMs, lock);
}

Status FaultyEnv::resolveLink(std::u16string_view path, std::u16string* resolved) {
  if (strike("resolve")) return injectedFailure("resolve");
  return EnvWrapper::resolveLink(path, resolved);
}

}  // namespace test
