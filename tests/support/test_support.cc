#include "tests/support/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "host/library.h"
#include "platform/platform.h"

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
  return zc::executableDirectory();
}

std::string modulePath(const std::string& name) {
  return zc::moduleFileName(binDir(), name);
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

void ModuleTest::loadModules() {
  zc::setEcho(false);
  // Another test may have unloaded them (all tests share one host when the
  // test program runs them in one process).
  const std::pair<const char*, const char16_t*> modules[] = {{"vetrix", u"Read_Dbf"},
                                                             {"calden", u"$rtd"}};
  for (const auto& [name, function] : modules) {
    if (zc::isDefined(function)) continue;
    std::string error;
    if (!zc::loadModule(modulePath(name), &error)) {
      ADD_FAILURE() << "cannot load " << name << ": " << error;
    }
  }
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
