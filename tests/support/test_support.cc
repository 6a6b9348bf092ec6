#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/text.h"

namespace test {

namespace {

void setVariable(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value ? value : "");
#else
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#endif
}

}  // namespace

std::string binDir() {
#if defined(_WIN32)
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  std::filesystem::path path(std::wstring(buffer, n));
  return path.parent_path().string();
#else
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  const std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
#endif
}

std::string modulePath(const std::string& name) {
#if defined(_WIN32)
  return binDir() + "\\" + name + ".dll";
#else
  return binDir() + "/" + name + ".so";
#endif
}

std::filesystem::path testDataDir() {
  return u8path(binDir()) / "testdata";
}

std::filesystem::path u8path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string readPath(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string readFile(std::string_view utf8Path) {
  return readPath(u8path(utf8Path));
}

void writeFile(std::string_view utf8Path, std::string_view bytes) {
  std::ofstream out(u8path(utf8Path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> filesHere() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScopedCodePage::ScopedCodePage(const char* codePage) {
  if (!codePage) return;
  const char* old = std::getenv("ANSI_CODEPAGE");
  hadPrevious_ = old != nullptr;
  if (old) previous_ = old;
  setVariable("ANSI_CODEPAGE", codePage);
  changed_ = true;
  active_ = platform::ansiCodePage() == std::atoi(codePage);
}

ScopedCodePage::~ScopedCodePage() {
  if (changed_) setVariable("ANSI_CODEPAGE", hadPrevious_ ? previous_.c_str() : nullptr);
}

const char* chineseCodePage() {
#if defined(_WIN32)
  switch (platform::ansiCodePage()) {
    case 950:
      return "950";
    case 936:
      return "936";
    default:
      return nullptr;
  }
#else
  return "950";
#endif
}

void TempDirTest::SetUp() {
  previous_ = std::filesystem::current_path();
  std::random_device random;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = std::filesystem::temp_directory_path() /
         ("zc-" + std::string(info->name()).substr(0, 40) + "-" + std::to_string(random()));
  std::filesystem::create_directories(dir_);
  std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

std::string hex(std::string_view bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

}  // namespace test
