// Helpers shared by every test, with no host: fresh temporary folders, the
// sample files, file and code-page helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
// The names of the files in the current directory, sorted.
std::vector<std::string> filesHere();

// Makes `codePage` the ANSI code page for the life of the object, where the
// platform allows: on POSIX through ANSI_CODEPAGE; on Windows the system's
// code page is fixed, and the object is active only when it is that one.
// A null code page is never active.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(const char* codePage);
  ~ScopedCodePage();
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;
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

std::string utf8(std::u16string_view text);
// Bytes as hex digits, "A4 40", for failure messages.
std::string hex(std::string_view bytes);

}  // namespace test
