// The built-in functions and special forms.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <numbers>

#include "host/library.h"
#include "host/lisp_internal.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"

namespace lisp {
namespace {

using Args = std::vector<Value>;

Value truth(bool b, Interpreter& lisp) {
  return b ? Value::object(lisp.trueSymbol()) : Value();
}

void need(Interpreter& lisp, const Args& args, size_t least, size_t most) {
  if (args.size() < least) lisp.fail("too few arguments");
  if (args.size() > most) lisp.fail("too many arguments");
}

bool isNumber(const Value& v) {
  return v.type() == Type::kInt || v.type() == Type::kReal;
}
bool isList(const Value& v) {
  return v.isNil() || v.type() == Type::kCons;
}

double number(Interpreter& lisp, const Value& v) {
  if (v.type() == Type::kInt) return v.asInt();
  if (v.type() == Type::kReal) return v.asReal();
  lisp.badType("numberp", v);
}

int32_t integer(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kInt) lisp.badType("fixnump", v);
  return v.asInt();
}

const std::u16string& text(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kString) lisp.badType("stringp", v);
  return v.text();
}

const Value& list(Interpreter& lisp, const Value& v) {
  if (!isList(v)) lisp.badType("consp", v);
  return v;
}

// 32-bit integers wrap around, as the host's do.
int32_t wrap(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

// ---------------------------------------------------------------- numbers

enum class Op { kAdd, kSubtract, kMultiply, kDivide };

Value arithmetic(Interpreter& lisp, Args& args, Op op) {
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
  if (x < 0) lisp.fail("function undefined for argument: " + prin1String(args[0]));
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

// ---------------------------------------------------------------- comparisons

// <0, 0 or >0: numbers by value, strings by their characters.
int compare(Interpreter& lisp, const Value& a, const Value& b) {
  if (a.type() == Type::kString && b.type() == Type::kString) return a.text().compare(b.text());
  const double x = number(lisp, a), y = number(lisp, b);
  return x < y ? -1 : x > y ? 1 : 0;
}

template <typename Test>
Value chain(Interpreter& lisp, Args& args, Test test) {
  need(lisp, args, 1, SIZE_MAX);
  bool holds = true;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (!test(compare(lisp, args[i], args[i + 1]))) holds = false;
  }
  if (args.size() == 1) compare(lisp, args[0], args[0]);  // checks the type
  return truth(holds, lisp);
}
bool identical(const Value& a, const Value& b);

// = and /= take any atoms: numbers by value, strings by their characters,
// anything else (symbols, nil, lists) by identity. A number and a string
// are unequal, not an error.
bool sameAtom(const Value& a, const Value& b) {
  if (isNumber(a) && isNumber(b)) {
    const double x = a.type() == Type::kInt ? a.asInt() : a.asReal();
    const double y = b.type() == Type::kInt ? b.asInt() : b.asReal();
    return x == y;
  }
  if (a.type() == Type::kString && b.type() == Type::kString) return a.text() == b.text();
  return identical(a, b);
}
Value equalNumbers(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, SIZE_MAX);
  bool holds = true;
  for (size_t i = 0; i + 1 < args.size(); ++i) holds = holds && sameAtom(args[i], args[i + 1]);
  return truth(holds, lisp);
}
Value notEqual(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, SIZE_MAX);
  bool holds = true;
  for (size_t i = 0; i + 1 < args.size(); ++i) holds = holds && !sameAtom(args[i], args[i + 1]);
  return truth(holds, lisp);
}
Value less(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c < 0; });
}
Value greater(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c > 0; });
}
Value lessOrEqual(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c <= 0; });
}
Value greaterOrEqual(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c >= 0; });
}

bool identical(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Type::kNil:
      return true;
    case Type::kInt:
      return a.asInt() == b.asInt();
    case Type::kReal:
      return a.asReal() == b.asReal();
    default:
      return a.asObject() == b.asObject();
  }
}

Value eq(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  return truth(identical(args[0], args[1]), lisp);
}

bool similar(const Value& a, const Value& b, double fuzz, int depth) {
  if (isNumber(a) && isNumber(b)) {
    const double x = a.type() == Type::kInt ? a.asInt() : a.asReal();
    const double y = b.type() == Type::kInt ? b.asInt() : b.asReal();
    return std::fabs(x - y) <= fuzz;
  }
  if (a.type() != b.type()) return false;
  if (a.type() == Type::kString) return a.text() == b.text();
  if (a.type() != Type::kCons) return identical(a, b);
  if (depth > 10000) return false;
  Value x = a, y = b;
  while (x.type() == Type::kCons && y.type() == Type::kCons) {
    if (x.asObject() == y.asObject()) return true;
    if (!similar(x.cons()->car, y.cons()->car, fuzz, depth + 1)) return false;
    x = x.cons()->cdr;
    y = y.cons()->cdr;
  }
  return similar(x, y, fuzz, depth + 1);
}

Value equal(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const double fuzz = args.size() == 3 ? number(lisp, args[2]) : 0;
  return truth(similar(args[0], args[1], fuzz, 0), lisp);
}

Value isNull(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].isNil(), lisp);
}
Value listp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(isList(args[0]), lisp);
}
Value atom(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() != Type::kCons, lisp);
}
Value numberp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(isNumber(args[0]), lisp);
}
Value zerop(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(number(lisp, args[0]) == 0, lisp);
}
Value minusp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(number(lisp, args[0]) < 0, lisp);
}
Value boundp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  return truth(!args[0].symbol()->value.isNil(), lisp);
}

Value type(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  static const char16_t* const kNames[] = {nullptr, u"INT",  u"REAL",  u"STR",      u"SYM",
                                           u"LIST", u"SUBR", u"USUBR", u"EXRXSUBR", u"FILE"};
  const char16_t* name = kNames[static_cast<int>(args[0].type())];
  return name ? Value::object(lisp.intern(name)) : Value();
}

// ---------------------------------------------------------------- lists

template <const char* Path>
Value walk(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  Value v = args[0];
  // The path is read from its end: cadr is the car of the cdr.
  const std::string_view path(Path);
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    list(lisp, v);
    v = *it == 'a' ? car(v) : cdr(v);
  }
  return v;
}
constexpr char kA[] = "a";
constexpr char kD[] = "d";
constexpr char kAA[] = "aa";
constexpr char kAD[] = "ad";
constexpr char kDA[] = "da";
constexpr char kDD[] = "dd";
constexpr char kAAA[] = "aaa", kAAD[] = "aad", kADA[] = "ada", kADD[] = "add";
constexpr char kDAA[] = "daa", kDAD[] = "dad", kDDA[] = "dda", kDDD[] = "ddd";
constexpr char kAAAA[] = "aaaa", kAAAD[] = "aaad", kAADA[] = "aada", kAADD[] = "aadd";
constexpr char kADAA[] = "adaa", kADAD[] = "adad", kADDA[] = "adda", kADDD[] = "addd";
constexpr char kDAAA[] = "daaa", kDAAD[] = "daad", kDADA[] = "dada", kDADD[] = "dadd";
constexpr char kDDAA[] = "ddaa", kDDAD[] = "ddad", kDDDA[] = "ddda", kDDDD[] = "dddd";

Value makeCons(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  return cons(args[0], args[1]);
}

Value makeListOf(Interpreter&, Args& args) {
  return makeList(std::move(args));
}

Value nth(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  int32_t n = integer(lisp, args[0]);
  if (n < 0) lisp.fail("bad argument value: " + prin1String(args[0]));
  Value v = list(lisp, args[1]);
  for (; n > 0 && v.type() == Type::kCons; --n) v = cdr(v);
  return car(v);
}

Value length(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const int64_t n = listLength(list(lisp, args[0]));
  if (n < 0) lisp.badType("listp", args[0]);
  return Value::integer(static_cast<int32_t>(n));
}

std::vector<Value> elements(Interpreter& lisp, const Value& v) {
  if (listLength(list(lisp, v)) < 0) lisp.badType("listp", v);
  std::vector<Value> items;
  for (Value at = v; at.type() == Type::kCons; at = cdr(at)) items.push_back(car(at));
  return items;
}

Value append(Interpreter& lisp, Args& args) {
  if (args.empty()) return Value();
  Value result = list(lisp, args.back());
  for (size_t i = args.size() - 1; i-- > 0;) {
    std::vector<Value> items = elements(lisp, args[i]);
    for (auto it = items.rbegin(); it != items.rend(); ++it) result = cons(*it, result);
  }
  return result;
}

Value reverse(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  Value result;
  for (const Value& item : elements(lisp, args[0])) result = cons(item, result);
  return result;
}

Value assoc(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at)) {
    const Value entry = car(at);
    if (entry.type() == Type::kCons && similar(car(entry), args[0], 0, 0)) return entry;
  }
  return Value();
}

Value member(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at)) {
    if (similar(car(at), args[0], 0, 0)) return at;
  }
  return Value();
}

Value last(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  Value at = list(lisp, args[0]);
  while (cdr(at).type() == Type::kCons) at = cdr(at);
  return car(at);
}

Value mapcar(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, SIZE_MAX);
  std::vector<Value> lists(args.begin() + 1, args.end());
  for (const Value& l : lists) list(lisp, l);
  std::vector<Value> results;
  for (;;) {
    std::vector<Value> callArgs;
    for (Value& l : lists) {
      if (l.type() != Type::kCons) return makeList(std::move(results));
      callArgs.push_back(car(l));
      l = cdr(l);
    }
    results.push_back(callFunction(lisp, args[0], callArgs));
  }
}

Value apply(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> callArgs = elements(lisp, args[1]);
  return callFunction(lisp, args[0], callArgs);
}

Value evaluate(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return lisp.eval(args[0]);
}

// ---------------------------------------------------------------- strings

Value strcat(Interpreter& lisp, Args& args) {
  uint64_t size = 0;
  for (const Value& a : args) size += text(lisp, a).size();
  lisp.reserveString(size * sizeof(char16_t));
  std::u16string out;
  out.reserve(size);
  for (const Value& a : args) out += a.text();
  return Value::string(std::move(out));
}

Value strlen(Interpreter& lisp, Args& args) {
  size_t n = 0;
  for (const Value& a : args) n += text(lisp, a).size();
  return Value::integer(static_cast<int32_t>(n));
}

Value substr(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const std::u16string& s = text(lisp, args[0]);
  const int32_t start = integer(lisp, args[1]);
  if (start < 1) lisp.fail("bad argument value: " + prin1String(args[1]));
  int64_t count = args.size() == 3 ? integer(lisp, args[2]) : int64_t{INT32_MAX};
  if (count < 0) lisp.fail("bad argument value: " + prin1String(args[2]));
  if (static_cast<size_t>(start) > s.size()) return Value::string(u"");
  return Value::string(s.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(count)));
}

Value strcase(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string& s = text(lisp, args[0]);
  const bool lower = args.size() == 2 && !args[1].isNil();
  return Value::string(lower ? platform::toLowerWide(s) : platform::toUpperWide(s));
}

Value itoa(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(std::to_string(integer(lisp, args[0]))));
}

Value atoi(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::string s = platform::toUtf8(text(lisp, args[0]));
  return Value::integer(wrap(std::strtoll(s.c_str(), nullptr, 10)));
}

Value atof(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::string s = platform::toUtf8(text(lisp, args[0]));
  return Value::real(std::strtod(s.c_str(), nullptr));
}

Value rtos(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 3);
  const double x = number(lisp, args[0]);
  const int32_t mode = args.size() >= 2 ? integer(lisp, args[1]) : 2;
  const int32_t precision = args.size() == 3 ? integer(lisp, args[2]) : 4;
  if ((mode != 1 && mode != 2) || precision < 0 || precision > 15) {
    lisp.fail("bad argument value: rtos mode " + std::to_string(mode) + " precision " +
              std::to_string(precision));
  }
  // Exact halves round away from zero, as the hosts round them (printf
  // would round 2.5 to even).
  double shown = x;
  const double scale = std::pow(10.0, precision);
  if (mode == 2 && std::fabs(x * scale) < 9007199254740992.0) shown = std::round(x * scale) / scale;
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, mode == 1 ? "%.*E" : "%.*f", precision, shown);
  return Value::string(platform::fromUtf8(buffer));
}

Value ascii(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::u16string& s = text(lisp, args[0]);
  return Value::integer(s.empty() ? 0 : s[0]);
}

Value chr(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const int32_t code = integer(lisp, args[0]);
  if (code < 0 || code > 0xFFFF) lisp.fail("bad argument value: " + prin1String(args[0]));
  return Value::string(code == 0 ? std::u16string()
                                 : std::u16string(1, static_cast<char16_t>(code)));
}

Value read(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::string source = platform::toUtf8(text(lisp, args[0]));
  Reader reader(lisp, source);
  Value form;
  Error error;
  switch (reader.next(&form, &error)) {
    case Reader::Status::kForm:
      return form;
    case Reader::Status::kEnd:
      return Value();
    case Reader::Status::kIncomplete:
      lisp.fail("malformed list on input");
    case Reader::Status::kError:
      lisp.fail(error.message);
  }
  return Value();
}

// ---------------------------------------------------------------- more numbers

Value exponential(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::real(std::exp(number(lisp, args[0])));
}

Value logarithm(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const double x = number(lisp, args[0]);
  if (x <= 0) lisp.fail("function undefined for argument: " + prin1String(args[0]));
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

// ---------------------------------------------------------------- points

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

// ---------------------------------------------------------------- more lists

// (subst NEW OLD LIST): LIST with every element equal to OLD replaced.
Value substitute(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 3);
  std::vector<Value> items = elements(lisp, args[2]);
  for (Value& item : items) {
    if (similar(item, args[1], 0, 0)) item = args[0];
  }
  return makeList(std::move(items));
}

Value setSymbol(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  Symbol* symbol = args[0].symbol();
  if (symbol->constant) lisp.fail("attempt to set a constant: " + prin1String(args[0]));
  symbol->value = args[1];
  return args[1];
}

Value position(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  int32_t index = 0;
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at), ++index) {
    if (similar(car(at), args[0], 0, 0)) return Value::integer(index);
  }
  return Value();
}

Value removeAll(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> kept;
  for (const Value& item : elements(lisp, args[1])) {
    if (!similar(item, args[0], 0, 0)) kept.push_back(item);
  }
  return makeList(std::move(kept));
}

template <bool Keep>
Value removeIf(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> kept;
  for (const Value& item : elements(lisp, args[1])) {
    std::vector<Value> callArgs{item};
    if (callFunction(lisp, args[0], callArgs).isNil() == !Keep) kept.push_back(item);
  }
  return makeList(std::move(kept));
}

template <bool Holds>
Value memberIf(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at)) {
    std::vector<Value> callArgs{car(at)};
    if (callFunction(lisp, args[0], callArgs).isNil() != Holds) return at;
  }
  return Value();
}

// (vl-every F LIST...) and (vl-some F LIST...) over the lists in step.
template <bool Every>
Value everyOrSome(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, SIZE_MAX);
  std::vector<Value> lists(args.begin() + 1, args.end());
  for (const Value& l : lists) list(lisp, l);
  for (;;) {
    std::vector<Value> callArgs;
    for (Value& l : lists) {
      if (l.type() != Type::kCons) return Every ? Value::object(lisp.trueSymbol()) : Value();
      callArgs.push_back(car(l));
      l = cdr(l);
    }
    Value result = callFunction(lisp, args[0], callArgs);
    if (Every && result.isNil()) return Value();
    if (!Every && !result.isNil()) return result;
  }
}

Value listLengthOrNil(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const int64_t n = listLength(list(lisp, args[0]));
  return n < 0 ? Value() : Value::integer(static_cast<int32_t>(n));
}

Value consp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() == Type::kCons, lisp);
}

// (vl-list* A B ... TAIL): the last argument ends the list.
Value listStar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, SIZE_MAX);
  Value result = args.back();
  for (size_t i = args.size() - 1; i-- > 0;) result = cons(args[i], result);
  return result;
}

// (vl-sort LIST LESS) and (vl-sort-i LIST LESS): sorted by a function of
// two arguments, stably. The hosts may drop elements that sort equal; these
// keep every one.
std::vector<size_t> sortedOrder(Interpreter& lisp, const std::vector<Value>& items,
                                const Value& less) {
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    std::vector<Value> callArgs{items[a], items[b]};
    return !callFunction(lisp, less, callArgs).isNil();
  });
  return order;
}
Value sortList(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::vector<Value> sorted;
  for (size_t i : sortedOrder(lisp, items, args[1])) sorted.push_back(items[i]);
  return makeList(std::move(sorted));
}
Value sortIndices(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::vector<Value> indices;
  for (size_t i : sortedOrder(lisp, items, args[1])) {
    indices.push_back(Value::integer(static_cast<int32_t>(i)));
  }
  return makeList(std::move(indices));
}

// ---------------------------------------------------------------- more strings

// (vl-string-search PATTERN STRING [START]): the index (from 0) where
// PATTERN first stands at or after START, or nil.
Value stringSearch(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const std::u16string& pattern = text(lisp, args[0]);
  const std::u16string& s = text(lisp, args[1]);
  const int32_t start = args.size() == 3 ? std::max(0, integer(lisp, args[2])) : 0;
  const size_t at = s.find(pattern, static_cast<size_t>(start));
  return at == std::u16string::npos ? Value() : Value::integer(static_cast<int32_t>(at));
}

// (vl-string-subst NEW PATTERN STRING [START]): the first PATTERN replaced.
Value stringSubst(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 4);
  const std::u16string& replacement = text(lisp, args[0]);
  const std::u16string& pattern = text(lisp, args[1]);
  std::u16string s = text(lisp, args[2]);
  const int32_t start = args.size() == 4 ? std::max(0, integer(lisp, args[3])) : 0;
  const size_t at = s.find(pattern, static_cast<size_t>(start));
  if (at != std::u16string::npos) s.replace(at, pattern.size(), replacement);
  return Value::string(std::move(s));
}

template <bool Left, bool Right>
Value stringTrim(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::u16string& set = text(lisp, args[0]);
  const std::u16string& s = text(lisp, args[1]);
  size_t first = 0, end = s.size();
  if (Left) {
    while (first < end && set.find(s[first]) != std::u16string::npos) ++first;
  }
  if (Right) {
    while (end > first && set.find(s[end - 1]) != std::u16string::npos) --end;
  }
  return Value::string(s.substr(first, end - first));
}

Value stringToList(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  std::vector<Value> codes;
  for (char16_t c : text(lisp, args[0])) codes.push_back(Value::integer(c));
  return makeList(std::move(codes));
}

Value listToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  std::u16string s;
  for (const Value& code : elements(lisp, args[0])) {
    const int32_t c = integer(lisp, code);
    if (c < 1 || c > 0xFFFF) lisp.fail("bad argument value: " + prin1String(code));
    s += static_cast<char16_t>(c);
  }
  return Value::string(std::move(s));
}

// (vl-string-position CODE STRING [START [FROM-END]]).
Value stringPosition(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 4);
  const int32_t code = integer(lisp, args[0]);
  const std::u16string& s = text(lisp, args[1]);
  const size_t start = args.size() >= 3 && !args[2].isNil()
                           ? static_cast<size_t>(std::max(0, integer(lisp, args[2])))
                           : 0;
  const bool fromEnd = args.size() == 4 && !args[3].isNil();
  if (code < 0 || code > 0xFFFF) return Value();
  const auto c = static_cast<char16_t>(code);
  const size_t at =
      fromEnd ? (start < s.size() ? s.rfind(c) : std::u16string::npos) : s.find(c, start);
  if (at == std::u16string::npos || (fromEnd && at < start)) return Value();
  return Value::integer(static_cast<int32_t>(at));
}

Value stringElement(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::u16string& s = text(lisp, args[0]);
  const int32_t at = integer(lisp, args[1]);
  if (at < 0 || static_cast<size_t>(at) >= s.size()) {
    lisp.fail("bad argument value: " + prin1String(args[1]));
  }
  return Value::integer(s[static_cast<size_t>(at)]);
}

// (vl-filename-base NAME), -directory and -extension: the parts of a path
// with '\' or '/' between folders.
platform::PathParts filenameParts(Interpreter& lisp, const Value& v) {
  return platform::splitPath(text(lisp, v));
}
Value filenameBase(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(filenameParts(lisp, args[0]).name);
}
Value filenameDirectory(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const platform::PathParts parts = filenameParts(lisp, args[0]);
  std::u16string folder = parts.drive + parts.dir;
  if (folder.size() > parts.drive.size() + 1 && (folder.back() == u'\\' || folder.back() == u'/')) {
    folder.pop_back();
  }
  return Value::string(std::move(folder));
}
Value filenameExtension(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const platform::PathParts parts = filenameParts(lisp, args[0]);
  return parts.ext.empty() ? Value() : Value::string(parts.ext);
}

// (wcmatch STRING PATTERN): the hosts' wild-card patterns. # a digit, @ a
// letter, . a character neither letter nor digit, * any run, ? any one
// character, [...] one of the characters (a-z ranges; [~...] none of
// them), ` takes the next character as it is, a leading ~ matches what the
// rest does not, and , separates alternatives. Case counts.
bool isLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
         (c >= 0x80 && platform::toUpperWide(std::u16string(1, c)) !=
                           platform::toLowerWide(std::u16string(1, c)));
}

// Whether the one-character token of `p` at `at` matches `ch`; *next is
// where the token ends. False for a token that is not whole.
bool matchToken(std::u16string_view p, size_t at, char16_t ch, size_t* next) {
  const char16_t c = p[at];
  *next = at + 1;
  switch (c) {
    case u'#':
      return ch >= u'0' && ch <= u'9';
    case u'@':
      return isLetter(ch);
    case u'.':
      return !isLetter(ch) && !(ch >= u'0' && ch <= u'9');
    case u'?':
      return true;
    case u'`':
      *next = at + 2;
      return at + 1 < p.size() && ch == p[at + 1];
    case u'[': {
      size_t i = at + 1;
      const bool negate = i < p.size() && p[i] == u'~';
      if (negate) ++i;
      bool found = false;
      const size_t first = i;
      for (; i < p.size() && (p[i] != u']' || i == first); ++i) {
        if (i + 2 < p.size() && p[i + 1] == u'-' && p[i + 2] != u']') {
          found = found || (ch >= p[i] && ch <= p[i + 2]);
          i += 2;
        } else {
          found = found || ch == p[i];
        }
      }
      *next = i + 1;
      return i < p.size() && found != negate;  // an unclosed bracket matches nothing
    }
    default:
      return ch == c;
  }
}

// Every token but * takes one character, so a mismatch only ever goes back
// to the last *, which then takes one character more: time in proportion to
// the lengths' product at worst, never exponential.
bool matchWild(std::u16string_view s, std::u16string_view p) {
  size_t si = 0, pi = 0, starP = std::u16string_view::npos, starS = 0;
  while (si < s.size()) {
    size_t next = 0;
    if (pi < p.size() && p[pi] == u'*') {
      starP = ++pi;
      starS = si;
    } else if (pi < p.size() && matchToken(p, pi, s[si], &next)) {
      pi = next;
      ++si;
    } else if (starP != std::u16string_view::npos) {
      pi = starP;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

Value wcmatch(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::u16string& s = text(lisp, args[0]);
  const std::u16string& patterns = text(lisp, args[1]);
  size_t start = 0;
  for (;;) {
    // The next alternative: up to a comma that no ` escapes.
    size_t end = start;
    while (end < patterns.size() && patterns[end] != u',') end += patterns[end] == u'`' ? 2 : 1;
    end = std::min(end, patterns.size());
    std::u16string_view pattern(patterns.data() + start, end - start);
    const bool negate = !pattern.empty() && pattern.front() == u'~';
    if (negate) pattern.remove_prefix(1);
    if (matchWild(s, pattern) != negate) return Value::object(lisp.trueSymbol());
    if (end >= patterns.size()) return Value();
    start = end + 1;
  }
}

Value sortStrings(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  std::vector<Value> items = elements(lisp, args[0]);
  for (const Value& item : items) text(lisp, item);
  std::stable_sort(items.begin(), items.end(),
                   [](const Value& a, const Value& b) { return a.text() < b.text(); });
  return makeList(std::move(items));
}

// ---------------------------------------------------------------- symbols and system

Value symbolName(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  return Value::string(args[0].symbol()->name);
}
Value symbolValue(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  return args[0].symbol()->value;
}
Value symbolp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() == Type::kSymbol, lisp);
}
Value princToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(princString(args[0])));
}
Value prin1ToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(prin1String(args[0])));
}

Value getEnvironment(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const char* value = std::getenv(platform::toUtf8(text(lisp, args[0])).c_str());
  return value ? Value::string(platform::fromUtf8(value)) : Value();
}
Value setEnvironment(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  zc::setEnvironment(platform::toUtf8(text(lisp, args[0])).c_str(),
                     platform::toUtf8(text(lisp, args[1])));
  return args[1];
}

Value version(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  return Value::string(u"Visual LISP 2000 (en)");
}

Value prompt(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  lisp.write(platform::toUtf8(text(lisp, args[0])));
  return Value();
}

// A dialog box in the hosts; here the message goes to standard error.
Value alert(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  std::fprintf(stderr, "%s\n", platform::toUtf8(text(lisp, args[0])).c_str());
  return Value();
}

Value nothing(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  return Value();
}

// ---------------------------------------------------------------- files and output

FileObject* fileArgument(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kFile) lisp.badType("filep", v);
  auto* file = static_cast<FileObject*>(v.asObject());
  if (!file->file) lisp.fail("bad argument value: a closed file " + prin1String(v));
  return file;
}

void writeTo(Interpreter& lisp, FileObject* file, std::string_view bytes) {
  if (!file->writing) lisp.fail("bad argument value: a file opened for reading");
  if (!file->file->write(file->offset, bytes.data(), bytes.size()).ok()) {
    lisp.fail("write failed: " + platform::toUtf8(file->name));
  }
  file->offset += bytes.size();
}

// Writes to the file of `args[at]`, or to standard output when there is none.
void output(Interpreter& lisp, Args& args, size_t at, std::string_view bytes) {
  if (args.size() > at && !args[at].isNil()) {
    writeTo(lisp, fileArgument(lisp, args[at]), bytes);
  } else {
    lisp.write(bytes);
  }
}

Value open(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  lisp.requireFiles();  // a third argument (an encoding) is accepted; files are UTF-8
  const std::u16string& name = text(lisp, args[0]);
  const std::u16string mode = platform::toLowerWide(text(lisp, args[1]));
  platform::Env& env = *platform::Env::defaultEnv();
  auto file = std::make_unique<FileObject>();
  file->name = name;
  platform::Status s;
  if (mode == u"r") {
    s = env.openFile(name, platform::OpenMode::kRead, &file->file);
  } else if (mode == u"w") {
    file->writing = true;
    s = env.openFile(name, platform::OpenMode::kCreateTruncate, &file->file);
  } else if (mode == u"a") {
    file->writing = true;
    s = env.openFile(name, platform::OpenMode::kReadWrite, &file->file);
    if (s.kind() == platform::ErrorKind::kNotFound) {
      s = env.openFile(name, platform::OpenMode::kCreateTruncate, &file->file);
    } else if (s.ok()) {
      s = file->file->size(&file->offset);
    }
  } else {
    lisp.fail("bad argument value: open mode " + prin1String(args[1]));
  }
  if (!s.ok()) return Value();
  return Value::object(file.release());
}

Value close(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  FileObject* file = fileArgument(lisp, args[0]);
  file->file->close();
  file->file.reset();
  return Value();
}

// The longest line read-line reads, and the longest line or form a script
// may hold: a never-ending input (a pipe from /dev/zero) ends in an error,
// not in all the memory there is.
constexpr size_t kMaxLineBytes = size_t{1} << 28;

// Reads the next piece of a file into its pending bytes; false at its end.
// Bytes already returned are dropped once they are most of the buffer, so
// that reading a file line by line moves each byte a bounded number of
// times.
bool readMore(Interpreter& lisp, FileObject* file) {
  if (file->atEnd) return false;
  if (file->consumed > (size_t{1} << 16) && file->consumed * 2 > file->pending.size()) {
    file->pending.erase(0, file->consumed);
    file->consumed = 0;
  }
  const size_t at = file->pending.size(), chunk = size_t{1} << 16;
  file->pending.resize(at + chunk);
  size_t got = 0;
  const bool read = file->file->read(file->offset, file->pending.data() + at, chunk, &got).ok();
  file->pending.resize(at + got);
  if (!read) lisp.fail("read failed: " + platform::toUtf8(file->name));
  file->offset += got;
  file->atEnd = got == 0;
  return got > 0;
}

FileObject* readableFile(Interpreter& lisp, const Value& v) {
  FileObject* file = fileArgument(lisp, v);
  if (file->writing) lisp.fail("bad argument value: a file opened for writing");
  return file;
}

Value readLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  std::string line;
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    if (!std::getline(std::cin, line)) return Value();
  } else {
    FileObject* file = readableFile(lisp, args[0]);
    // Each byte is looked at once, however long the line.
    size_t newline, scanned = file->consumed;
    while ((newline = file->pending.find('\n', scanned)) == std::string::npos && !file->atEnd) {
      if (file->pending.size() - file->consumed > kMaxLineBytes) {
        lisp.fail("line too long: over " + std::to_string(kMaxLineBytes >> 20) + " MiB in " +
                  platform::toUtf8(file->name));
      }
      const size_t before = file->consumed;
      scanned = file->pending.size();
      readMore(lisp, file);
      scanned -= before - file->consumed;  // the buffer may have dropped what was returned
    }
    if (file->consumed >= file->pending.size() && file->atEnd) return Value();
    if (newline == std::string::npos) newline = file->pending.size();
    line = file->pending.substr(file->consumed, newline - file->consumed);
    file->consumed = std::min(newline + 1, file->pending.size());
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Value::string(platform::fromUtf8(line));
}

// (read-char [FILE]): the code of the next character, 10 for a line end
// (CR LF or LF), nil at the end.
Value readChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    const int c = std::cin.get();
    return c == EOF ? Value() : Value::integer(c);
  }
  FileObject* file = readableFile(lisp, args[0]);
  auto available = [&](size_t n) {
    while (file->pending.size() - file->consumed < n && readMore(lisp, file)) {
    }
    return file->pending.size() - file->consumed >= n;
  };
  if (!available(1)) return Value();
  const auto lead = static_cast<unsigned char>(file->pending[file->consumed]);
  if (lead == '\r' && available(2) && file->pending[file->consumed + 1] == '\n') {
    file->consumed += 2;
    return Value::integer('\n');
  }
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  available(length);
  const std::u16string decoded = platform::fromUtf8(
      std::string_view(file->pending)
          .substr(file->consumed, std::min(length, file->pending.size() - file->consumed)));
  file->consumed += std::min(length, file->pending.size() - file->consumed);
  return Value::integer(decoded.empty() ? 0 : decoded[0]);
}

// (write-char CODE [FILE]): a line end (10) ends the line as write-line does.
Value writeChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const int32_t code = integer(lisp, args[0]);
  if (code < 1 || code > 0xFFFF) lisp.fail("bad argument value: " + prin1String(args[0]));
  const bool toFile = args.size() == 2 && !args[1].isNil();
  const std::string bytes = code == '\n'
                                ? (toFile ? "\r\n" : "\n")
                                : platform::toUtf8(std::u16string(1, static_cast<char16_t>(code)));
  if (toFile) {
    writeTo(lisp, fileArgument(lisp, args[1]), bytes);
  } else {
    lisp.write(bytes);
  }
  return args[0];
}

Value writeLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::string line = platform::toUtf8(text(lisp, args[0]));
  if (args.size() == 2 && !args[1].isNil()) {
    // Lines end as a Windows program ends them, on every platform.
    writeTo(lisp, fileArgument(lisp, args[1]), line + "\r\n");
  } else {
    lisp.write(line + "\n");
  }
  return args[0];
}

Value princ(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, princString(args[0]));
  return args[0];
}

Value prin1(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, prin1String(args[0]));
  return args[0];
}

Value print(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, "\n" + prin1String(args[0]) + " ");
  return args[0];
}

Value terpri(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  output(lisp, args, 0, args.empty() ? "\n" : "\r\n");
  return Value();
}

Value load(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string name = text(lisp, args[0]);
  if (args.size() == 2) {
    // A second argument is what a load that cannot find its file answers.
    std::unique_ptr<platform::File> probe;
    platform::Env& env = *platform::Env::defaultEnv();
    if (!platform::fileExists(env, name) &&
        !(platform::splitPath(name).ext.empty() && platform::fileExists(env, name + u".lsp"))) {
      return args[1];
    }
  }
  return lisp.load(name);
}

Value exitProgram(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  ExitRequest request;
  if (!args.empty()) {
    request.given = true;
    request.status = integer(lisp, args[0]);
  }
  throw request;
}

// ---------------------------------------------------------------- special forms

void countArguments(Interpreter& lisp, const Value& forms, size_t least, size_t most) {
  const int64_t n = listLength(forms);
  if (n < 0 || static_cast<size_t>(n) < least) lisp.fail("too few arguments");
  if (static_cast<size_t>(n) > most) lisp.fail("too many arguments");
}

Value progn(Interpreter& lisp, const Value& forms) {
  Value result;
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) result = lisp.eval(car(at));
  return result;
}

Value quote(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, 1);
  return car(forms);
}

Value setq(Interpreter& lisp, const Value& forms) {
  Value result;
  for (Value at = forms; at.type() == Type::kCons; at = cdr(cdr(at))) {
    const Value target = car(at);
    if (target.type() != Type::kSymbol) lisp.badType("symbolp", target);
    if (cdr(at).type() != Type::kCons) lisp.fail("too few arguments");
    if (target.symbol()->constant) {
      lisp.fail("attempt to set a constant: " + platform::toUtf8(target.symbol()->name));
    }
    result = lisp.eval(car(cdr(at)));
    target.symbol()->value = result;
  }
  return result;
}

Value ifForm(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, 3);
  if (!lisp.eval(car(forms)).isNil()) return lisp.eval(car(cdr(forms)));
  return lisp.eval(car(cdr(cdr(forms))));
}

Value cond(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    const Value clause = car(at);
    if (clause.type() != Type::kCons) lisp.badType("consp", clause);
    Value test = lisp.eval(car(clause));
    if (test.isNil()) continue;
    return cdr(clause).isNil() ? test : progn(lisp, cdr(clause));
  }
  return Value();
}

Value andForm(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    if (lisp.eval(car(at)).isNil()) return Value();
  }
  return truth(true, lisp);
}

Value orForm(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    if (!lisp.eval(car(at)).isNil()) return truth(true, lisp);
  }
  return Value();
}

Value whileForm(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  Value result;
  while (!lisp.eval(car(forms)).isNil()) result = progn(lisp, cdr(forms));
  return result;
}

Value repeat(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  const Value times = lisp.eval(car(forms));
  Value result;
  for (int32_t n = integer(lisp, times); n > 0; --n) result = progn(lisp, cdr(forms));
  return result;
}

Value foreach (Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, SIZE_MAX);
  const Value variable = car(forms);
  if (variable.type() != Type::kSymbol) lisp.badType("symbolp", variable);
  const Value items = list(lisp, lisp.eval(car(cdr(forms))));
  Bindings bindings;
  bindings.bind(variable.symbol(), Value());
  Value result;
  for (Value at = items; at.type() == Type::kCons; at = cdr(at)) {
    variable.symbol()->value = car(at);
    result = progn(lisp, cdr(cdr(forms)));
  }
  return result;
}

// (params / locals) and the body: a function.
Value makeFunction(Interpreter& lisp, std::u16string name, const Value& forms) {
  auto f = std::make_unique<Usubr>();
  f->name = std::move(name);
  const Value parameters = car(forms);
  if (!isList(parameters)) lisp.badType("listp", parameters);
  bool locals = false;
  for (Value at = parameters; at.type() == Type::kCons; at = cdr(at)) {
    const Value p = car(at);
    if (p.type() != Type::kSymbol) lisp.badType("symbolp", p);
    if (p.symbol()->name == u"/") {
      locals = true;
      continue;
    }
    (locals ? f->locals : f->parameters).push_back(p.symbol());
  }
  f->body = cdr(forms);
  return Value::object(f.release());
}

Value defun(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, SIZE_MAX);
  const Value name = car(forms);
  if (name.type() != Type::kSymbol) lisp.badType("symbolp", name);
  if (name.symbol()->constant) {
    lisp.fail("attempt to set a constant: " + platform::toUtf8(name.symbol()->name));
  }
  name.symbol()->value = makeFunction(lisp, name.symbol()->name, cdr(forms));
  return name;
}

Value lambda(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  return makeFunction(lisp, u"", forms);
}

Value function(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, 1);
  const Value f = car(forms);
  // #'(lambda ...) makes the function; a name stands for itself.
  if (f.type() == Type::kCons) return lisp.eval(f);
  return f;
}

}  // namespace

Symbol* nullSymbol(Interpreter& lisp) {
  return lisp.intern(u"");
}

std::span<const Subr> builtins() {
  static const Subr table[] = {
      // special forms
      {"QUOTE", quote},
      {"FUNCTION", function},
      {"SETQ", setq},
      {"PROGN", progn},
      {"IF", ifForm},
      {"COND", cond},
      {"AND", andForm},
      {"OR", orForm},
      {"WHILE", whileForm},
      {"REPEAT", repeat},
      {"FOREACH", foreach},
      {"DEFUN", defun},
      {"LAMBDA", lambda},
      // numbers
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
      // points
      {"DISTANCE", distance},
      {"ANGLE", angle},
      {"POLAR", polar},
      {"INTERS", intersection},
      // comparisons and tests
      {"=", equalNumbers},
      {"/=", notEqual},
      {"<", less},
      {">", greater},
      {"<=", lessOrEqual},
      {">=", greaterOrEqual},
      {"EQ", eq},
      {"EQUAL", equal},
      {"NOT", isNull},
      {"NULL", isNull},
      {"LISTP", listp},
      {"ATOM", atom},
      {"NUMBERP", numberp},
      {"ZEROP", zerop},
      {"MINUSP", minusp},
      {"BOUNDP", boundp},
      {"TYPE", type},
      // lists
      {"CAR", walk<kA>},
      {"CDR", walk<kD>},
      {"CAAR", walk<kAA>},
      {"CADR", walk<kAD>},
      {"CDAR", walk<kDA>},
      {"CDDR", walk<kDD>},
      {"CAAAR", walk<kAAA>},
      {"CAADR", walk<kAAD>},
      {"CADAR", walk<kADA>},
      {"CADDR", walk<kADD>},
      {"CDAAR", walk<kDAA>},
      {"CDADR", walk<kDAD>},
      {"CDDAR", walk<kDDA>},
      {"CDDDR", walk<kDDD>},
      {"CAAAAR", walk<kAAAA>},
      {"CAAADR", walk<kAAAD>},
      {"CAADAR", walk<kAADA>},
      {"CAADDR", walk<kAADD>},
      {"CADAAR", walk<kADAA>},
      {"CADADR", walk<kADAD>},
      {"CADDAR", walk<kADDA>},
      {"CADDDR", walk<kADDD>},
      {"CDAAAR", walk<kDAAA>},
      {"CDAADR", walk<kDAAD>},
      {"CDADAR", walk<kDADA>},
      {"CDADDR", walk<kDADD>},
      {"CDDAAR", walk<kDDAA>},
      {"CDDADR", walk<kDDAD>},
      {"CDDDAR", walk<kDDDA>},
      {"CDDDDR", walk<kDDDD>},
      {"CONS", makeCons},
      {"LIST", makeListOf},
      {"NTH", nth},
      {"LENGTH", length},
      {"APPEND", append},
      {"REVERSE", reverse},
      {"ASSOC", assoc},
      {"MEMBER", member},
      {"LAST", last},
      {"MAPCAR", mapcar},
      {"APPLY", apply},
      {"EVAL", evaluate},
      {"SUBST", substitute},
      {"SET", setSymbol},
      {"VL-POSITION", position},
      {"VL-REMOVE", removeAll},
      {"VL-REMOVE-IF", removeIf<false>},
      {"VL-REMOVE-IF-NOT", removeIf<true>},
      {"VL-MEMBER-IF", memberIf<true>},
      {"VL-MEMBER-IF-NOT", memberIf<false>},
      {"VL-EVERY", everyOrSome<true>},
      {"VL-SOME", everyOrSome<false>},
      {"VL-LIST-LENGTH", listLengthOrNil},
      {"VL-CONSP", consp},
      {"VL-LIST*", listStar},
      {"VL-SORT", sortList},
      {"VL-SORT-I", sortIndices},
      // strings
      {"STRCAT", strcat},
      {"STRLEN", strlen},
      {"SUBSTR", substr},
      {"STRCASE", strcase},
      {"ITOA", itoa},
      {"ATOI", atoi},
      {"ATOF", atof},
      {"RTOS", rtos},
      {"ASCII", ascii},
      {"CHR", chr},
      {"READ", read},
      {"WCMATCH", wcmatch},
      {"ACAD_STRLSORT", sortStrings},
      {"VL-STRING-SEARCH", stringSearch},
      {"VL-STRING-SUBST", stringSubst},
      {"VL-STRING-TRIM", stringTrim<true, true>},
      {"VL-STRING-LEFT-TRIM", stringTrim<true, false>},
      {"VL-STRING-RIGHT-TRIM", stringTrim<false, true>},
      {"VL-STRING->LIST", stringToList},
      {"VL-LIST->STRING", listToString},
      {"VL-STRING-POSITION", stringPosition},
      {"VL-STRING-ELT", stringElement},
      {"VL-FILENAME-BASE", filenameBase},
      {"VL-FILENAME-DIRECTORY", filenameDirectory},
      {"VL-FILENAME-EXTENSION", filenameExtension},
      // symbols and system
      {"VL-SYMBOL-NAME", symbolName},
      {"VL-SYMBOL-VALUE", symbolValue},
      {"VL-SYMBOLP", symbolp},
      {"VL-PRINC-TO-STRING", princToString},
      {"VL-PRIN1-TO-STRING", prin1ToString},
      {"GETENV", getEnvironment},
      {"SETENV", setEnvironment},
      {"VER", version},
      {"PROMPT", prompt},
      {"ALERT", alert},
      {"VL-LOAD-COM", nothing},
      // files and output
      {"OPEN", open},
      {"CLOSE", close},
      {"READ-LINE", readLine},
      {"READ-CHAR", readChar},
      {"WRITE-CHAR", writeChar},
      {"WRITE-LINE", writeLine},
      {"PRINC", princ},
      {"PRIN1", prin1},
      {"PRINT", print},
      {"TERPRI", terpri},
      {"LOAD", load},
      {"EXIT", exitProgram},
      {"QUIT", exitProgram},
  };
  return std::span<const Subr>(table);
}

}  // namespace lisp
