#include "support/host_support.h"

namespace test {

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
  zc::setRecording(true);
  zc::clearTranscript();
}

zc::CallResult call(std::u16string_view name, const std::vector<zc::HostValue>& args) {
  zc::CallResult result = zc::invoke(name, args);
  EXPECT_FALSE(result.error) << utf8(result.error.value_or(u""));
  return result;
}

ArgList::ArgList(const std::vector<zc::HostValue>& values) {
  strings_.reserve(values.size());
  for (const zc::HostValue& v : values) {
    ResultBuffer rb{};
    switch (v.kind) {
      case zc::HostValue::Kind::kString:
        strings_.push_back(v.text);
        rb.restype = kRtString;
        rb.resval.rstring = strings_.back().data();
        break;
      case zc::HostValue::Kind::kInt:
        rb.restype = kRtShort;
        rb.resval.rint = static_cast<int16_t>(v.integer);
        break;
      case zc::HostValue::Kind::kReal:
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

HandlerResult callHandler(int (*handler)(const ResultBuffer*),
                          const std::vector<zc::HostValue>& args) {
  ArgList list(args);
  return capture([&] { return handler(list.head()); });
}

}  // namespace test
