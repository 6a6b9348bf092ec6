// A platform Env that fails the Nth fallible file operation, SQLite-style:
// opening, creating a temporary file, reading, writing, flushing, closing and
// replacing all count.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace test {

class FaultyEnv : public platform::EnvWrapper {
 public:
  FaultyEnv() : EnvWrapper(platform::Env::defaultEnv()) {}

  // Fail the operation numbered `n` (counting from 1); 0 fails none.
  void failAt(int n) {
    failAt_ = n;
    count_ = 0;
    injected_ = false;
  }
  bool injected() const { return injected_; }
  int count() const { return count_; }

  // True when this operation is to fail.
  bool strike(const char* what) {
    ++count_;
    if (count_ != failAt_) return false;
    injected_ = true;
    lastFailed_ = what;
    return true;
  }
  const std::string& lastFailed() const { return lastFailed_; }

  std::unique_ptr<platform::File> openFile(std::u16string_view path,
                                           platform::OpenMode mode) override;
  std::unique_ptr<platform::File> createTempFile(std::u16string_view directory,
                                                 std::u16string* path) override;
  bool replaceFile(std::u16string_view from, std::u16string_view to) override {
    return !strike("replace") && EnvWrapper::replaceFile(from, to);
  }

 private:
  int failAt_ = 0;
  int count_ = 0;
  bool injected_ = false;
  std::string lastFailed_;
};

// Installs an Env for the life of the object.
class ScopedEnv {
 public:
  explicit ScopedEnv(platform::Env* env) { platform::Env::setCurrent(env); }
  ~ScopedEnv() { platform::Env::setCurrent(nullptr); }
};

}  // namespace test
