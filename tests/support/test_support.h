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

std::string binDir();
std::string modulePath(const std::string& name);

// Reads and writes whole files by their native name.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// Sets ANSI_CODEPAGE for the life of the object.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(const char* codePage);
  ~ScopedCodePage();

 private:
  std::string previous_;
  bool hadPrevious_;
};

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
