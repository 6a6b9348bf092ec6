#include "tests/support/faulty_env.h"

namespace test {
namespace {

class FaultyFile : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> file, FaultyEnv* env)
      : file_(std::move(file)), env_(env) {}
  bool read(uint64_t offset, void* data, size_t n, size_t* got) override {
    return !env_->strike("read") && file_->read(offset, data, n, got);
  }
  bool write(uint64_t offset, const void* data, size_t n) override {
    if (env_->strike("short write")) {
      file_->write(offset, data, n / 2);  // part of it reaches the file
      return false;
    }
    return file_->write(offset, data, n);
  }
  std::optional<uint64_t> size() override {
    if (env_->strike("size")) return std::nullopt;
    return file_->size();
  }
  bool sync() override { return !env_->strike("sync") && file_->sync(); }
  bool lockExclusive(int timeoutMs) override {
    return !env_->strike("lock") && file_->lockExclusive(timeoutMs);
  }
  bool close() override {
    const bool closed = file_->close();
    return !env_->strike("close") && closed;
  }

 private:
  std::unique_ptr<platform::File> file_;
  FaultyEnv* env_;
};

}  // namespace

std::unique_ptr<platform::File> FaultyEnv::openFile(std::u16string_view path,
                                                    platform::OpenMode mode) {
  if (strike("open")) return nullptr;
  std::unique_ptr<platform::File> file = EnvWrapper::openFile(path, mode);
  return file ? std::make_unique<FaultyFile>(std::move(file), this) : nullptr;
}

std::unique_ptr<platform::File> FaultyEnv::createTempFile(std::u16string_view directory,
                                                          std::u16string* path) {
  if (strike("create temporary")) return nullptr;
  std::unique_ptr<platform::File> file = EnvWrapper::createTempFile(directory, path);
  return file ? std::make_unique<FaultyFile>(std::move(file), this) : nullptr;
}

}  // namespace test
