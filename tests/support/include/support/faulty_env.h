// An Env that fails chosen operations, SQLite-style: every operation of the
// Env and of the files it opens is counted, and the Nth fails either once
// (the program carries on) or persistently (every operation from the Nth on
// fails: the program has crashed there, and nothing more reaches the disk).
// Over a MemEnv, a crash can be followed by a power loss.
//
// Faults are typed as the platform reports them: a full disk, a file held
// by another program, access denied, a failing device, no more handles,
// and a read that comes back short without an error.
#pragma once

#include <memory>
#include <string>

#include "platform/env.h"

namespace test {

enum class Fault { kNoSpace, kBusy, kAccessDenied, kIoError, kTooManyFiles, kShortRead };

// Every fault, for tables of tests.
inline constexpr Fault kEveryFault[] = {Fault::kNoSpace, Fault::kBusy,         Fault::kAccessDenied,
                                        Fault::kIoError, Fault::kTooManyFiles, Fault::kShortRead};
const char* faultName(Fault fault);

class FaultyEnv : public platform::EnvWrapper {
 public:
  explicit FaultyEnv(platform::Env* target) : EnvWrapper(target) {}

  // Fail operation `n` (counting from 1) once; 0 fails none.
  void failOnce(int n, Fault fault = Fault::kIoError) { arm(n, false, fault); }
  // Fail every operation from the `n`th on.
  void failFrom(int n, Fault fault = Fault::kIoError) { arm(n, true, fault); }
  // Fail the first operation named `what` ("lock", "write", "replace"...)
  // once.
  void failFirst(std::string what, Fault fault) {
    arm(0, false, fault);
    failName_ = std::move(what);
  }
  // Fail every operation named `what`, always.
  void failEvery(std::string what, Fault fault) {
    arm(0, true, fault);
    failName_ = std::move(what);
  }
  Fault fault() const { return fault_; }
  // Every write fails from now on, having written half its bytes, as on a
  // full disk; nothing else does.
  void failWrites(Fault fault) {
    fault_ = fault;
    writesFail_ = true;
  }
  bool writesFail() const { return writesFail_; }

  bool injected() const { return injected_; }
  // Failing persistently: the program has crashed.
  bool crashing() const { return persistent_; }
  int count() const { return count_; }
  // Whether the operation armed with failOnce or failFrom was reached
  // (injected() says whether it failed: a short read strikes reads only).
  bool reached() const { return failAt_ > 0 && count_ >= failAt_; }
  const std::string& lastFailed() const { return lastFailed_; }

  // True when this operation is to fail.
  bool strike(const char* what);
  // The failure the platform would report for this fault.
  platform::Status injectedFailure(const char* what) const {
    return platform::Status::error(kindOf(fault_), 0, what, u"(injected)");
  }
  static platform::ErrorKind kindOf(Fault fault) {
    switch (fault) {
      case Fault::kNoSpace:
        return platform::ErrorKind::kNoSpace;
      case Fault::kBusy:
        return platform::ErrorKind::kBusy;
      case Fault::kAccessDenied:
        return platform::ErrorKind::kAccessDenied;
      case Fault::kTooManyFiles:
        return platform::ErrorKind::kOther;
      default:
        return platform::ErrorKind::kIoError;
    }
  }

  platform::Status openFile(std::u16string_view path, platform::OpenMode mode,
                            std::unique_ptr<platform::File>* file) override;
  platform::Status fileInfo(std::u16string_view path, platform::FileInfo* info) override;
  platform::Status entryInfo(std::u16string_view path, platform::FileInfo* info) override;
  platform::Status listFolder(std::u16string_view folder, bool wantSizes,
                              std::vector<platform::DirEntry>* entries) override;
  platform::Status scanFolder(std::u16string_view folder, platform::FolderScan& scan) override;
  platform::Status renameReplacing(std::u16string_view from, std::u16string_view to) override;
  platform::Status renameNoReplace(std::u16string_view from, std::u16string_view to) override;
  platform::Status linkFile(std::u16string_view existing, std::u16string_view link) override;
  platform::Status removeFile(std::u16string_view path) override;
  platform::Status createDirectory(std::u16string_view path) override;
  platform::Status syncDirectory(std::u16string_view folder) override;
  platform::Status resolveLink(std::u16string_view path, std::u16string* resolved) override;
  platform::Status lockName(std::u16string_view path, int timeoutMs,
                            std::unique_ptr<platform::NameLock>* lock) override;

 private:
  void arm(int n, bool persistent, Fault fault) {
    failAt_ = n;
    persistent_ = persistent;
    fault_ = fault;
    count_ = 0;
    injected_ = false;
    lastFailed_.clear();
    failName_.clear();
  }

  int failAt_ = 0;
  std::string failName_;
  bool persistent_ = false;
  Fault fault_ = Fault::kIoError;
  bool writesFail_ = false;
  int count_ = 0;
  bool injected_ = false;
  std::string lastFailed_;
};

}  // namespace test
