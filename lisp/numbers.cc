// Numbers: arithmetic, bits, exponents, and points in the plane.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "library.h"

namespace lisp {
namespace {

enum class Op { kAdd, kSubtract, kMultiply, kDivide };

Value arithmetic(Interpreter& lisp, Args& args, Op op) {
  if (args.size() == 2 && args[0].isInt() && args[1].isInt() && op != Op::kDivide) {
    const int64_t x = args[0].asInt(), y = args[1].asInt();  // most arithmetic
    return Value::integer(wrap(op == Op::kAdd ? x + y : op == Op::kSubtract ? x - y : x * y));
  }
  if (args.empty()) return Value::integer(0);  // (*) too, as the hosts answer
  bool real = false;
  for (const Value& a : args) {
    number(lisp, a);
    real = real || a.type() == Type::kReal;
  }
  if (args.size() == 1 && op == Op::kSubtract) {
    return real ? Value::real(-args[0].asReal()) : Value::integer(wrap(-int64_t{args[0].asInt()}));
  }
  if (real) {
    double acc = number(lisp, args[0]);
    for (size_t i = 1; i < args.size(); ++i) {
      const double x = number(lisp, args[i]);
      switch (op) {
        case Op::kAdd:
          acc += x;
          break;
        case Op::kSubtract:
          acc -= x;
          break;
        case Op::kMultiply:
          acc *= x;
          break;
        case Op::kDivide:
          if (x == 0) lisp.fail("divide by zero");
          acc /= x;
          break;
      }
    }
    return Value::real(acc);
  }
  int64_t acc = args[0].asInt();
  for (size_t i = 1; i < args.size(); ++i) {
    const int64_t x = args[i].asInt();
    switch (op) {
      case Op::kAdd:
        acc = wrap(acc + x);
        break;
      case Op::kSubtract:
        acc = wrap(acc - x);
        break;
      case Op::kMultiply:
        acc = wrap(acc * x);
        break;
      case Op::kDivide:
        if (x == 0) lisp.fail("divide by zero");
        acc = wrap(acc / x);  // toward zero
        break;
    }
  }
  return Value::integer(static_cast<int32_t>(acc));
}

Value add(Interpreter& l, Args& a) {
  return arithmetic(l, a, Op::kAdd);
}
Value subtract(Interpreter& l, Args& a) {
  return arithmetic(l, a, Op::kSubtract);
}
Value multiply(Interpreter& l, Args& a) {
  return arithmetic(l, a, Op::kMultiply);
}
Value divide(Interpreter& l, Args& a) {
  return arithmetic(l, a, Op::kDivide);
}

Value remainder(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, SIZE_MAX);
  bool real = false;
  for (const Value& a : args) {
    number(lisp, a);
    real = real || a.type() == Type::kReal;
  }
  if (real) {
    double acc = number(lisp, args[0]);
    for (size_t i = 1; i < args.size(); ++i) {
      const double x = number(lisp, args[i]);
      if (x == 0) lisp.fail("divide by zero");
      acc = std::fmod(acc, x);
    }
    return Value::real(acc);
  }
  int64_t acc = args[0].asInt();
  for (size_t i = 1; i < args.size(); ++i) {
    const int64_t x = args[i].asInt();
    if (x == 0) lisp.fail("divide by zero");
    acc = wrap(acc % x);
  }
  return Value::integer(static_cast<int32_t>(acc));
}

Value step(Interpreter& lisp, Args& args, int by) {
  need(lisp, args, 1, 1);
  if (args[0].type() == Type::kReal) return Value::real(args[0].asReal() + by);
  return Value::integer(wrap(int64_t{integer(lisp, args[0])} + by));
}
Value increment(Interpreter& l, Args& a) {
  if (!a.empty() && a[0].type() != Type::kReal) number(l, a[0]);
  return step(l, a, 1);
}
Value decrement(Interpreter& l, Args& a) {
  if (!a.empty() && a[0].type() != Type::kReal) number(l, a[0]);
  return step(l, a, -1);
}

Value absolute(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() == Type::kReal) return Value::real(std::fabs(args[0].asReal()));
  const int64_t v = integer(lisp, args[0]);
  return Value::integer(wrap(v < 0 ? -v : v));
}

Value extreme(Interpreter& lisp, Args& args, bool largest) {
  if (args.empty()) return Value::integer(0);
  bool real = false;
  double best = number(lisp, args[0]);
  for (const Value& a : args) {
    const double x = number(lisp, a);
    real = real || a.type() == Type::kReal;
    if (largest ? x > best : x < best) best = x;
  }
  return real ? Value::real(best) : Value::integer(static_cast<int32_t>(best));
}
Value minimum(Interpreter& l, Args& a) {
  return extreme(l, a, false);
}
Value maximum(Interpreter& l, Args& a) {
  return extreme(l, a, true);
}

Value fix(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() == Type::kInt) return args[0];
  const double x = std::trunc(number(lisp, args[0]));
  // Too large for an integer: the truncated real, as the dialect has it.
  if (!(x >= INT32_MIN && x <= INT32_MAX)) return Value::real(x);
  return Value::integer(static_cast<int32_t>(x));
}

Value toFloat(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::real(number(lisp, args[0]));
}

Value squareRoot(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const double x = number(lisp, args[0]);
  if (x < 0) lisp.fail("function undefined for argument: " + prin1String(args[0], lisp.reals()));
  return Value::real(std::sqrt(x));
}

Value sine(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::real(std::sin(number(lisp, args[0])));
}
Value cosine(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::real(std::cos(number(lisp, args[0])));
}
Value arcTangent(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const double y = number(lisp, args[0]);
  return Value::real(args.size() == 2 ? std::atan2(y, number(lisp, args[1])) : std::atan(y));
}

Value power(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const double base = number(lisp, args[0]), exponent = number(lisp, args[1]);
  if (args[0].type() == Type::kInt && args[1].type() == Type::kInt && exponent >= 0) {
    int64_t result = 1, b = args[0].asInt();
    for (int32_t e = args[1].asInt(); e > 0; e >>= 1, b = wrap(b * b)) {
      if (e & 1) result = wrap(result * b);
    }
    return Value::integer(static_cast<int32_t>(result));
  }
  return Value::real(std::pow(base, exponent));
}

Value exponential(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::real(std::exp(number(lisp, args[0])));
}

Value logarithm(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const double x = number(lisp, args[0]);
  if (x <= 0) lisp.fail("function undefined for argument: " + prin1String(args[0], lisp.reals()));
  return Value::real(std::log(x));
}

Value greatestDivisor(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  int64_t a = std::abs(int64_t{integer(lisp, args[0])});
  int64_t b = std::abs(int64_t{integer(lisp, args[1])});
  while (b != 0) {
    const int64_t r = a % b;
    a = b;
    b = r;
  }
  return Value::integer(wrap(a));
}

template <typename Combine>
Value bitwise(Interpreter& lisp, Args& args, uint32_t start, Combine combine) {
  uint32_t acc = start;
  for (size_t i = 0; i < args.size(); ++i) {
    const auto bits = static_cast<uint32_t>(integer(lisp, args[i]));
    acc = i == 0 ? bits : combine(acc, bits);
  }
  return Value::integer(static_cast<int32_t>(args.empty() ? 0 : acc));
}
Value logand(Interpreter& lisp, Args& args) {
  return bitwise(lisp, args, 0, [](uint32_t a, uint32_t b) { return a & b; });
}
Value logior(Interpreter& lisp, Args& args) {
  return bitwise(lisp, args, 0, [](uint32_t a, uint32_t b) { return a | b; });
}

// (boole OPERATOR INT...): each bit of the result is the bit of OPERATOR
// that the two arguments' bits pick: 1 for both set, 2 for the first alone,
// 4 for the second alone, 8 for neither (so 1 is AND, 6 XOR, 7 OR, 8 NOR).
Value boole(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, SIZE_MAX);
  const int32_t op = integer(lisp, args[0]);
  uint32_t acc = static_cast<uint32_t>(integer(lisp, args[1]));
  for (size_t i = 2; i < args.size(); ++i) {
    const auto next = static_cast<uint32_t>(integer(lisp, args[i]));
    uint32_t result = 0;
    for (int bit = 0; bit < 32; ++bit) {
      const bool a = (acc >> bit) & 1, b = (next >> bit) & 1;
      const int pick = a ? (b ? 1 : 2) : (b ? 4 : 8);
      if (op & pick) result |= uint32_t{1} << bit;
    }
    acc = result;
  }
  return Value::integer(static_cast<int32_t>(acc));
}

Value shift(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  const auto bits = static_cast<uint32_t>(args.empty() ? 0 : integer(lisp, args[0]));
  const int32_t by = args.size() < 2 ? 0 : integer(lisp, args[1]);
  if (by >= 32 || by <= -32) return Value::integer(0);
  return Value::integer(static_cast<int32_t>(by >= 0 ? bits << by : bits >> -by));
}

Value complement(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::integer(~integer(lisp, args[0]));
}

// A point: a list of two or three numbers.
std::vector<double> point(Interpreter& lisp, const Value& v) {
  std::vector<double> xyz;
  for (Value at = v; at.type() == Type::kCons && xyz.size() < 4; at = cdr(at)) {
    if (!isNumber(car(at))) lisp.badType("pointp", v);
    xyz.push_back(number(lisp, car(at)));
  }
  if (xyz.size() < 2 || xyz.size() > 3) lisp.badType("pointp", v);
  return xyz;
}

Value makePoint(const std::vector<double>& xyz) {
  std::vector<Value> items;
  for (double c : xyz) items.push_back(Value::real(c));
  return makeList(std::move(items));
}

// Distance in 3D when both points are, else in the XY plane.
Value distance(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<double> a = point(lisp, args[0]), b = point(lisp, args[1]);
  const double dz = a.size() == 3 && b.size() == 3 ? b[2] - a[2] : 0;
  return Value::real(
      std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) + dz * dz));
}

// The angle from the first point to the second in the XY plane, in radians
// from 0 up to 2 pi.
Value angle(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<double> a = point(lisp, args[0]), b = point(lisp, args[1]);
  double radians = std::atan2(b[1] - a[1], b[0] - a[0]);
  if (radians < 0) radians += 2 * std::numbers::pi;
  return Value::real(radians);
}

Value polar(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 3);
  std::vector<double> p = point(lisp, args[0]);
  const double radians = number(lisp, args[1]), length = number(lisp, args[2]);
  p[0] += length * std::cos(radians);
  p[1] += length * std::sin(radians);
  return makePoint(p);
}

// Where the line through the first two points meets the line through the
// other two, in the XY plane; nil for parallel lines, or (unless the fifth
// argument is given as nil) for a meeting outside either segment.
Value intersection(Interpreter& lisp, Args& args) {
  need(lisp, args, 4, 5);
  const std::vector<double> p1 = point(lisp, args[0]), p2 = point(lisp, args[1]);
  const std::vector<double> p3 = point(lisp, args[2]), p4 = point(lisp, args[3]);
  const bool onSegments = args.size() < 5 || !args[4].isNil();
  const double dx1 = p2[0] - p1[0], dy1 = p2[1] - p1[1];
  const double dx2 = p4[0] - p3[0], dy2 = p4[1] - p3[1];
  const double denominator = dx1 * dy2 - dy1 * dx2;
  if (std::fabs(denominator) < 1e-12) return Value();
  const double t = ((p3[0] - p1[0]) * dy2 - (p3[1] - p1[1]) * dx2) / denominator;
  const double u = ((p3[0] - p1[0]) * dy1 - (p3[1] - p1[1]) * dx1) / denominator;
  constexpr double kFuzz = 1e-10;
  if (onSegments && (t < -kFuzz || t > 1 + kFuzz || u < -kFuzz || u > 1 + kFuzz)) return Value();
  std::vector<double> at = {p1[0] + t * dx1, p1[1] + t * dy1};
  const bool threeD = p1.size() == 3 && p2.size() == 3 && p3.size() == 3 && p4.size() == 3;
  if (threeD) at.push_back(p1[2] + t * (p2[2] - p1[2]));
  return makePoint(at);
}

}  // namespace

std::span<const Subr> numberFunctions() {
  static const Subr table[] = {
      {"+", add},
      {"-", subtract},
      {"*", multiply},
      {"/", divide},
      {"REM", remainder},
      {"1+", increment},
      {"1-", decrement},
      {"ABS", absolute},
      {"MIN", minimum},
      {"MAX", maximum},
      {"FIX", fix},
      {"FLOAT", toFloat},
      {"SQRT", squareRoot},
      {"SIN", sine},
      {"COS", cosine},
      {"ATAN", arcTangent},
      {"EXPT", power},
      {"EXP", exponential},
      {"LOG", logarithm},
      {"GCD", greatestDivisor},
      {"LOGAND", logand},
      {"LOGIOR", logior},
      {"BOOLE", boole},
      {"LSH", shift},
      {"~", complement},
      {"DISTANCE", distance},
      {"ANGLE", angle},
      {"POLAR", polar},
      {"INTERS", intersection},
  };
  return table;
}

}  // namespace lisp
