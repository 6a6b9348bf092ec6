#include "base_functions.h"

#include <string>

#include "frame/frame.h"
#include "platform/platform.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double k180 = 180.0;

constexpr char16_t kNotReal[] = u"接收到的輸入值不是實數";
constexpr char16_t kNotString[] = u"接收到的輸入值不是字串";
constexpr char16_t kFirstNotString[] = u"接收到的第一個輸入值不是字串";
constexpr char16_t kSecondNotString[] = u"接收到的第二個輸入值不是字串";
constexpr char16_t kSecondNotInteger[] = u"接收到的第二個輸入值不是整數";
constexpr char16_t kWidthTooSmall[] = u"整數值小於字串的長度";

// Reads the number argument of the angle functions into *x. False (having
// reported a wrong type) when there is none to read.
bool numberArgument(const ResultBuffer* args, double* x) {
  if (!args) return false;
  switch (args->restype) {
    case kRtReal:
      *x = args->resval.rreal;
      return true;
    case kRtShort:
      *x = static_cast<double>(args->resval.rint);
      return true;
    case kRtLong:  // the host hands integers beyond 16 bits so
      *x = static_cast<double>(args->resval.rlong);
      return true;
    default:
      zcdbFail(kNotReal);
      return false;
  }
}

// The arithmetic is kept to one rounding per operation, in this order; the
// build forbids contraction into fused multiply-add.
int returnReal(double value) {
  zcedRetReal(value);
  return kRtNormal;
}

int returnText(const std::u16string& text) {
  zcedRetStr(text.c_str());
  return kRtNormal;
}

}  // namespace

int $rtd(const ResultBuffer* args) {
  double x;
  if (!numberArgument(args, &x)) return kRtError;
  const double q = x / kPi;
  return returnReal(q * k180);
}

int $dtr(const ResultBuffer* args) {
  double x;
  if (!numberArgument(args, &x)) return kRtError;
  const double q = x / k180;
  return returnReal(q * kPi);
}

int $npi(const ResultBuffer* args) {
  double x;
  if (!numberArgument(args, &x)) return kRtError;
  return returnReal(x * kPi);
}

int $addbl(const ResultBuffer* args) {
  if (!args) return kRtError;
  if (!isString(args)) {
    zcdbFail(kFirstNotString);
    return kRtError;
  }
  std::string narrow = platform::toAnsi(argText(args));
  narrow.resize(narrow.find('\0') == std::string::npos ? narrow.size() : narrow.find('\0'));
  const ResultBuffer* widthArg = args->rbnext;
  if (!widthArg) return kRtError;
  if (widthArg->restype != kRtShort && widthArg->restype != kRtLong) {
    zcdbFail(kSecondNotInteger);
    return kRtError;
  }
  const int64_t width =
      widthArg->restype == kRtShort ? widthArg->resval.rint : widthArg->resval.rlong;
  if (width < static_cast<int64_t>(narrow.size())) {
    zcdbFail(kWidthTooSmall);
    return kRtError;
  }
  narrow.resize(static_cast<size_t>(width), ' ');
  std::u16string result = platform::fromAnsi(narrow);
  if (!result.empty() && result.front() == u'\uFEFF') result.erase(0, 1);
  return returnText(result);
}

int $delbl(const ResultBuffer* args) {
  if (!args) return kRtError;
  if (!isString(args)) {
    zcdbFail(kNotString);
    return kRtError;
  }
  std::u16string_view text = argText(args);
  const size_t start = text.find_first_not_of(u' ');
  if (start == std::u16string_view::npos) return returnText(std::u16string());
  const size_t end = text.find_last_not_of(u' ');
  return returnText(std::u16string(text.substr(start, end - start + 1)));
}

int $eorc(const ResultBuffer* args) {
  if (!args) return kRtError;
  if (!isString(args)) {
    zcdbFail(kFirstNotString);
    return kRtError;
  }
  const std::u16string first(argText(args));
  const ResultBuffer* second = args->rbnext;
  if (!second) return kRtError;
  if (!isString(second)) {
    zcdbFail(kSecondNotString);
    return kRtError;
  }
  const std::u16string other(argText(second));
  ResultBuffer* value = nullptr;
  const bool chinese = zcedGetSym(u"$acad_code", &value) == kRtNormal && isString(value) &&
                       argText(value) == u"CHINESE";
  return returnText(chinese ? first : other);
}
