#include "tests/support/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/platform.h"

namespace test {

std::string binDir() {
  return ZC_BIN_DIR;
}

std::string modulePath(const std::string& name) {
#if defined(_WIN32)
  return binDir() + "/" + name + ".dll";
#else
  return binDir() + "/" + name + ".so";
#endif
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedCodePage::ScopedCodePage(const char* codePage) {
  const char* old = std::getenv("ANSI_CODEPAGE");
  hadPrevious_ = old != nullptr;
  if (old) previous_ = old;
  ::setenv("ANSI_CODEPAGE", codePage, 1);
}

ScopedCodePage::~ScopedCodePage() {
  if (hadPrevious_)
    ::setenv("ANSI_CODEPAGE", previous_.c_str(), 1);
  else
    ::unsetenv("ANSI_CODEPAGE");
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

void ModuleTest::loadModules() {
  static bool loaded = false;
  if (loaded) return;
  zc::setEcho(false);
  for (const char* name : {"vetrix", "calden"}) {
    std::string error;
    if (!zc::loadModule(modulePath(name), &error)) {
      ADD_FAILURE() << "cannot load " << name << ": " << error;
    }
  }
  loaded = true;
}

void ModuleTest::SetUp() {
  TempDirTest::SetUp();
  loadModules();
  zc::clearTranscript();
}

zc::CallResult call(std::u16string_view name, const std::vector<zc::Value>& args) {
  zc::CallResult result = zc::invoke(name, args);
  EXPECT_FALSE(result.error) << utf8(result.error.value_or(u""));
  return result;
}

std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

}  // namespace test

namespace test {

ArgList::ArgList(const std::vector<zc::Value>& values) {
  strings_.reserve(values.size());
  for (const zc::Value& v : values) {
    ResultBuffer rb{};
    switch (v.kind) {
      case zc::Value::Kind::kString:
        strings_.push_back(v.text);
        rb.restype = kRtString;
        rb.resval.rstring = strings_.back().data();
        break;
      case zc::Value::Kind::kInt:
        rb.restype = kRtShort;
        rb.resval.rint = static_cast<int16_t>(v.integer);
        break;
      case zc::Value::Kind::kReal:
        rb.restype = kRtReal;
        rb.resval.rreal = v.real;
        break;
      default:
        rb.restype = kRtNil;
        break;
    }
    nodes_.push_back(rb);
  }
  for (size_t i = 0; i + 1 < nodes_.size(); ++i) nodes_[i].rbnext = &nodes_[i + 1];
}

HandlerResult callHandler(int (*handler)(const ResultBuffer*), const std::vector<zc::Value>& args) {
  zc::setEcho(false);
  ArgList list(args);
  zc::clearTranscript();
  HandlerResult result;
  result.status = handler(list.head());
  result.printed = zc::transcript();
  return result;
}

std::vector<std::string> filesHere() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace test
