// Distances and angles as text, in the hosts' units: rtos and distof
// (scientific, decimal, engineering, architectural, fractional), angtos and
// angtof (degrees, degrees/minutes/seconds, grads, radians, surveyor's).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>

#include "library.h"
#include "platform/text.h"

namespace lisp {
namespace {

constexpr double kPi = std::numbers::pi;

// x rounded to `places` decimals, exact halves away from zero as the hosts
// round them (printf would round 2.5 to even).
double roundHalfAway(double x, int places) {
  const double scale = std::pow(10.0, places);
  if (std::fabs(x * scale) >= 9007199254740992.0) return x;
  return std::round(x * scale) / scale;
}

std::string fixed(double x, int places) {
  char buffer[512];
  const double rounded = roundHalfAway(x, places);
  // to_chars writes what printf's "%.*f" writes, without its locale and
  // its arbitrary-precision arithmetic.
  if (places >= 0) {
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, places);
    if (ec == std::errc()) return std::string(buffer, end);
  }
  std::snprintf(buffer, sizeof buffer, "%.*f", places, rounded);
  return buffer;
}

// Whole units and a fraction of 1/2^precision, reduced: (5, 1, 2) for 5.5.
// The whole units are a double: a distance may be far past any integer
// type (1e300 inches), and past 2^53 it has no fraction left to show.
struct Fraction {
  double whole;
  long long numerator, denominator;
};
Fraction toFraction(double x, int precision) {
  const long long denominator = 1LL << std::min(precision, 8);
  const double units = std::round(x * static_cast<double>(denominator));
  const double whole = std::floor(units / static_cast<double>(denominator));
  const double rest = units - whole * static_cast<double>(denominator);
  Fraction f{whole, rest > 0 && rest < static_cast<double>(denominator) ? std::llround(rest) : 0,
             denominator};
  while (f.numerator != 0 && f.numerator % 2 == 0) {
    f.numerator /= 2;
    f.denominator /= 2;
  }
  return f;
}
// A whole number of any size in digits: 5, 1000000000000000052504760255...
std::string wholeText(double whole) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.0f", whole);
  return buffer;
}
std::string fractionText(const Fraction& f, bool wholeAlways) {
  std::string out;
  if (f.whole != 0 || f.numerator == 0 || wholeAlways) out = wholeText(f.whole);
  if (f.numerator != 0) {
    if (!out.empty()) out += ' ';
    out += std::to_string(f.numerator) + "/" + std::to_string(f.denominator);
  }
  return out;
}

std::string distanceText(double x, int mode, int precision) {
  // Infinities and NaN read as prin1 prints them, in every mode.
  if (!std::isfinite(x)) return formatReal(x);
  const std::string sign = x < 0 ? "-" : "";
  const double a = std::fabs(x);
  switch (mode) {
    case 1: {
      char buffer[512];
      std::snprintf(buffer, sizeof buffer, "%.*E", precision, x);
      return buffer;
    }
    case 3: {  // feet and decimal inches: 1'-5.50"
      double feet = std::floor(a / 12);
      // Past 2^53 inches the feet hold every digit there is.
      const double rest = std::clamp(a - 12.0 * feet, 0.0, 12.0);
      std::string inches = fixed(rest, precision);
      if (std::stod(inches) >= 12) {
        ++feet;
        inches = fixed(0, precision);
      }
      return sign + wholeText(feet) + "'-" + inches + "\"";
    }
    case 4: {  // feet, inches and a fraction: 1'-5 1/2"
      Fraction inches = toFraction(a, precision);
      const double feet = std::floor(inches.whole / 12);
      inches.whole = std::fmod(inches.whole, 12.0);
      return sign + wholeText(feet) + "'-" + fractionText(inches, true) + "\"";
    }
    case 5:  // units and a fraction: 17 1/2
      return sign + fractionText(toFraction(a, precision), false);
    default:
      return fixed(x, precision);
  }
}

// A number at the start of `s` (from *at), as strtod reads it.
std::optional<double> numberAt(const std::string& s, size_t* at) {
  // Digits, a point, a sign, an exponent: no "inf", "nan" or hex.
  if (*at >= s.size() || std::string_view("+-.0123456789").find(s[*at]) == std::string::npos) {
    return std::nullopt;
  }
  const char* start = s.c_str() + *at;
  char* end = nullptr;
  const double x = std::strtod(start, &end);
  if (end == start || !std::isfinite(x) ||
      std::string_view(start, static_cast<size_t>(end - start)).find_first_of("xX") !=
          std::string_view::npos) {
    return std::nullopt;
  }
  *at += static_cast<size_t>(end - start);
  return x;
}

// "N", "N M/D" or "M/D" (or a decimal) from *at; the value.
std::optional<double> amountAt(const std::string& s, size_t* at) {
  size_t i = *at;
  std::optional<double> first = numberAt(s, &i);
  if (!first) return std::nullopt;
  auto fraction = [&](size_t from, double* value) {
    size_t k = from;
    std::optional<double> n = numberAt(s, &k);
    if (!n || k >= s.size() || s[k] != '/') return false;
    ++k;
    std::optional<double> d = numberAt(s, &k);
    if (!d || *d == 0) return false;
    *value = *n / *d;
    *at = k;
    return true;
  };
  double part = 0;
  if (i < s.size() && s[i] == '/') {
    if (fraction(*at, &part)) return part;
    return std::nullopt;
  }
  *at = i;
  if (i < s.size() && (s[i] == ' ' || s[i] == '-') && fraction(i + 1, &part)) {
    return *first < 0 ? *first - part : *first + part;
  }
  return first;
}

// Any of the distance forms: 17.5, 1.75E+01, 1'-5.5", 1'5-1/2", 17 1/2, 5".
std::optional<double> parseDistance(const std::string& s) {
  size_t at = 0;
  while (at < s.size() && s[at] == ' ') ++at;
  const bool negative = at < s.size() && s[at] == '-';
  if (negative) ++at;
  std::optional<double> value = amountAt(s, &at);
  if (!value) return std::nullopt;
  double total = *value;
  if (at < s.size() && s[at] == '\'') {  // feet, then inches
    total *= 12;
    ++at;
    if (at < s.size() && s[at] == '-') ++at;
    if (at < s.size()) {
      std::optional<double> inches = amountAt(s, &at);
      if (!inches || at >= s.size() || s[at] != '"') return std::nullopt;
      ++at;
      total += *inches;
    }
  } else if (at < s.size() && s[at] == '"') {
    ++at;
  }
  while (at < s.size() && s[at] == ' ') ++at;
  if (at != s.size()) return std::nullopt;
  return negative ? -total : total;
}

// Degrees as d°m's": `precision` 0 gives degrees, 1-2 minutes, 3-4
// seconds, more decimals of the seconds.
std::string dmsText(double degrees, int precision) {
  if (precision <= 0) return fixed(degrees, 0) + "d";
  if (precision <= 2) {
    long long minutes = std::llround(degrees * 60);
    return std::to_string(minutes / 60) + "d" + std::to_string(minutes % 60) + "'";
  }
  const int places = std::max(0, precision - 4);
  const double scale = std::pow(10.0, places);
  const long long units = std::llround(degrees * 3600 * scale);
  const long long wholeSeconds = units / static_cast<long long>(scale);
  std::string seconds = std::to_string(wholeSeconds % 60);
  if (places > 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", places,
                  static_cast<double>(units % (60 * static_cast<long long>(scale))) / scale);
    seconds = buffer;
  }
  return std::to_string(wholeSeconds / 3600) + "d" + std::to_string(wholeSeconds / 60 % 60) + "'" +
         seconds + "\"";
}

std::string angleText(double radians, int mode, int precision) {
  if (!std::isfinite(radians)) return formatReal(radians);
  double a = std::fmod(radians, 2 * kPi);
  if (a < 0) a += 2 * kPi;
  const double degrees = a * 180 / kPi;
  switch (mode) {
    case 1:
      return dmsText(degrees, precision);
    case 2:
      return fixed(a * 200 / kPi, precision) + "g";
    case 3:
      return fixed(a, precision) + "r";
    case 4: {  // a bearing: N or S, the angle toward E or W
      const std::string shown = fixed(degrees, 6);
      const double d = std::stod(shown);
      if (d == 0 || d == 360) return "E";
      if (d == 90) return "N";
      if (d == 180) return "W";
      if (d == 270) return "S";
      const bool north = d < 180;
      const double fromAxis = north ? std::fabs(90 - d) : std::fabs(270 - d);
      const bool east = d < 90 || d > 270;
      return std::string(north ? "N " : "S ") + dmsText(fromAxis, precision) + (east ? " E" : " W");
    }
    default:
      return fixed(degrees, precision);
  }
}

// Degrees from "45", "45.5", "45d30'15.5\"", "45d".
std::optional<double> parseDegrees(const std::string& s, size_t* at) {
  std::optional<double> d = numberAt(s, at);
  if (!d) return std::nullopt;
  double total = *d;
  if (*at < s.size() && s[*at] == 'd') {
    ++*at;
    size_t k = *at;
    if (std::optional<double> m = numberAt(s, &k); m && k < s.size() && s[k] == '\'') {
      total += *m / 60;
      *at = k + 1;
      k = *at;
      if (std::optional<double> sec = numberAt(s, &k); sec && k < s.size() && s[k] == '"') {
        total += *sec / 3600;
        *at = k + 1;
      }
    }
  }
  return total;
}

std::optional<double> parseAngle(const std::string& text, int mode) {
  std::string s;
  for (char c : text) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c != ' ') s += upper == 'D' ? 'd' : upper;
  }
  size_t at = 0;
  std::optional<double> radians;
  if (mode == 4 && !s.empty() && (s[0] == 'N' || s[0] == 'S' || s[0] == 'E' || s[0] == 'W')) {
    if (s == "E") return 0.0;
    if (s == "N") return kPi / 2;
    if (s == "W") return kPi;
    if (s == "S") return 3 * kPi / 2;
    at = 1;
    std::optional<double> d = parseDegrees(s, &at);
    if (!d || at + 1 != s.size() || (s[at] != 'E' && s[at] != 'W')) return std::nullopt;
    const bool north = s[0] == 'N', east = s[at] == 'E';
    const double fromEast = north ? (east ? 90 - *d : 90 + *d) : (east ? 270 + *d : 270 - *d);
    radians = fromEast * kPi / 180;
    at = s.size();
  } else if (mode == 2) {
    std::optional<double> g = numberAt(s, &at);
    if (g && at < s.size() && s[at] == 'G') ++at;
    if (g) radians = *g * kPi / 200;
  } else if (mode == 3) {
    radians = numberAt(s, &at);
    if (radians && at < s.size() && s[at] == 'R') ++at;
  } else {
    std::optional<double> d = parseDegrees(s, &at);
    if (d) radians = *d * kPi / 180;
  }
  if (!radians || at != s.size()) return std::nullopt;
  double a = std::fmod(*radians, 2 * kPi);
  if (a < 0) a += 2 * kPi;
  return a;
}

void checkUnits(Interpreter& lisp, const char* function, int32_t mode, int32_t last,
                int32_t precision) {
  if (mode < 0 || mode > last || precision < 0 || precision > 15) {
    lisp.fail(std::string("bad argument value: ") + function + " mode " + std::to_string(mode) +
              " precision " + std::to_string(precision));
  }
}

// Zeros DIMZIN suppresses in a decimal distance: leading (4), trailing (8).
std::string suppressZeros(std::string text, int32_t dimzin) {
  const size_t point = text.find('.');
  if ((dimzin & 8) && point != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  if ((dimzin & 4) && !text.empty()) {
    const size_t digits = text[0] == '-' ? 1 : 0;
    if (text.compare(digits, 2, "0.") == 0) text.erase(digits, 1);
  }
  if (text.empty() || text == "-" || text == "0" || text == "-0") return "0";
  return text;
}

// (rtos NUMBER [MODE [PRECISION]]): LUNITS and LUPREC give what is left out
// (mode 2 and precision 4 by default); DIMZIN's zeros are left out of
// decimals.
Value rtos(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 3);
  const double x = number(lisp, args[0]);
  const int32_t mode = args.size() >= 2 && !args[1].isNil() ? integer(lisp, args[1])
                                                            : integerVariable(lisp, u"LUNITS");
  const int32_t precision = args.size() == 3 && !args[2].isNil() ? integer(lisp, args[2])
                                                                 : integerVariable(lisp, u"LUPREC");
  checkUnits(lisp, "rtos", mode == 0 ? -1 : mode, 5, precision);
  std::string shown = distanceText(x, mode, precision);
  if (mode == 2) shown = suppressZeros(std::move(shown), integerVariable(lisp, u"DIMZIN"));
  return Value::string(platform::fromUtf8(shown));
}

// (distof STRING [MODE]): the number a distance in any of rtos's forms
// stands for, or nil.
Value distof(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::string s = platform::toUtf8(text(lisp, args[0]));
  const int32_t mode = args.size() == 2 && !args[1].isNil() ? integer(lisp, args[1])
                                                            : integerVariable(lisp, u"LUNITS");
  checkUnits(lisp, "distof", mode == 0 ? -1 : mode, 5, 0);
  std::optional<double> x = parseDistance(s);
  return x ? Value::real(*x) : Value();
}

// (angtos RADIANS [MODE [PRECISION]]): AUNITS and AUPREC give what is left
// out (degrees with no decimals by default).
Value angtos(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 3);
  const double a = number(lisp, args[0]);
  const int32_t mode = args.size() >= 2 && !args[1].isNil() ? integer(lisp, args[1])
                                                            : integerVariable(lisp, u"AUNITS");
  const int32_t precision = args.size() == 3 && !args[2].isNil() ? integer(lisp, args[2])
                                                                 : integerVariable(lisp, u"AUPREC");
  checkUnits(lisp, "angtos", mode, 4, precision);
  return Value::string(platform::fromUtf8(angleText(a, mode, precision)));
}

// (angtof STRING [MODE]): the angle in radians, from 0 up to 2 pi, or nil.
Value angtof(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::string s = platform::toUtf8(text(lisp, args[0]));
  const int32_t mode = args.size() == 2 && !args[1].isNil() ? integer(lisp, args[1]) : 0;
  checkUnits(lisp, "angtof", mode, 4, 0);
  std::optional<double> a = parseAngle(s, mode);
  return a ? Value::real(*a) : Value();
}

}  // namespace

std::optional<double> distanceFromText(const std::string& text) {
  return parseDistance(text);
}

std::optional<double> angleFromText(const std::string& text, int mode) {
  return parseAngle(text, mode);
}

std::span<const Subr> unitFunctions() {
  static const Subr table[] = {
      {"RTOS", rtos},
      {"DISTOF", distof},
      {"ANGTOS", angtos},
      {"ANGTOF", angtof},
  };
  return table;
}

}  // namespace lisp
