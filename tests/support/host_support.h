// Helpers for tests that drive the modules through the emulated host.
#pragma once

#include <vector>

#include "frame/host_api.h"
#include "host/host.h"
#include "host/host_testing.h"
#include "support/test_support.h"

namespace test {

// A fresh folder per test, with vetrix and calden loaded once per process
// and the host recording.
class ModuleTest : public TempDirTest {
 protected:
  void SetUp() override;
  static void loadModules();
};

inline zc::HostValue S(std::u16string text) {
  return zc::HostValue::makeString(std::move(text));
}
inline zc::HostValue I(int32_t n) {
  return zc::HostValue::makeInt(n);
}
inline zc::HostValue R(double x) {
  return zc::HostValue::makeReal(x);
}

// Shorthand for a call that must reach a module.
zc::CallResult call(std::u16string_view name, const std::vector<zc::HostValue>& args);

// An argument list built from values, for calling a handler directly. Its
// nodes point into its own storage, so it is never copied.
class ArgList {
 public:
  explicit ArgList(const std::vector<zc::HostValue>& values);
  ArgList(const ArgList&) = delete;
  ArgList& operator=(const ArgList&) = delete;
  const ResultBuffer* head() const { return nodes_.empty() ? nullptr : nodes_.data(); }

 private:
  std::vector<ResultBuffer> nodes_;
  std::vector<std::u16string> strings_;
};

struct HandlerResult {
  int status;
  std::u16string printed;
};

// Runs `body` outside any host call, recording what it printed.
template <typename Body>
HandlerResult capture(Body body) {
  zc::setEcho(false);
  zc::setRecording(true);
  zc::clearTranscript();
  HandlerResult result;
  result.status = body();
  result.printed = zc::transcript();
  return result;
}

// Calls a handler outside any host call and collects what it printed.
HandlerResult callHandler(int (*handler)(const ResultBuffer*),
                          const std::vector<zc::HostValue>& args);

}  // namespace test
