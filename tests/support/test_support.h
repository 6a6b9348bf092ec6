// Helpers shared by the tests: fresh temporary folders, loaded modules, value
// shorthands and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "frame/host_api.h"
#include "host/host.h"

namespace test {

// The folder of the built programs and modules (and of the test program).
std::string binDir();
std::string modulePath(const std::string& name);
// The sample files copied beside the test program.
std::filesystem::path testDataDir();

// A path from UTF-8 text, whatever the platform's narrow encoding.
std::filesystem::path u8path(std::string_view utf8);
// Reads and writes whole files named in UTF-8.
std::string readFile(std::string_view utf8Path);
void writeFile(std::string_view utf8Path, std::string_view bytes);
std::string readPath(const std::filesystem::path& path);

// Makes `codePage` the ANSI code page for the life of the object, where the
// platform allows: on POSIX through ANSI_CODEPAGE; on Windows the system's
// code page is fixed, and the object is active only when it is that one.
// A null code page is never active.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(const char* codePage);
  ~ScopedCodePage();
  bool active() const { return active_; }

 private:
  std::string previous_;
  bool hadPrevious_ = false;
  bool changed_ = false;
  bool active_ = false;
};

// A double-byte Chinese code page to test with: 950 on POSIX; on Windows the
// system's, when it is 950 or 936, else null.
const char* chineseCodePage();

// Runs each test in a fresh temporary folder, made the current directory.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path dir_;

 private:
  std::filesystem::path previous_;
};

// A fresh folder per test, with vetrix and calden loaded once per process.
class ModuleTest : public TempDirTest {
 protected:
  void SetUp() override;
  static void loadModules();
};

inline zc::Value S(std::u16string text) {
  return zc::Value::makeString(std::move(text));
}
inline zc::Value I(int32_t n) {
  return zc::Value::makeInt(n);
}
inline zc::Value R(double x) {
  return zc::Value::makeReal(x);
}

// Shorthand for a call that must reach a module.
zc::CallResult call(std::u16string_view name, const std::vector<zc::Value>& args);

std::string utf8(std::u16string_view text);

}  // namespace test

namespace test {

// An argument list built from values, for calling a handler directly.
class ArgList {
 public:
  explicit ArgList(const std::vector<zc::Value>& values);
  const ResultBuffer* head() const { return nodes_.empty() ? nullptr : nodes_.data(); }

 private:
  std::vector<ResultBuffer> nodes_;
  std::vector<std::u16string> strings_;
};

struct HandlerResult {
  int status;
  std::u16string printed;
};

// Calls a handler outside any host call and collects what it printed.
HandlerResult callHandler(int (*handler)(const ResultBuffer*), const std::vector<zc::Value>& args);

// The names of the files in the current directory.
std::vector<std::string> filesHere();

}  // namespace test
