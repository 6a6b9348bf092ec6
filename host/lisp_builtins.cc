// The built-in functions and special forms.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

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
  if (args.empty()) return Value::integer(op == Op::kMultiply ? 1 : 0);
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
Value equalNumbers(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c == 0; });
}
Value notEqual(Interpreter& l, Args& a) {
  return chain(l, a, [](int c) { return c != 0; });
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
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, mode == 1 ? "%.*E" : "%.*f", precision, x);
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

Value readLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  std::string line;
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    if (!std::getline(std::cin, line)) return Value();
  } else {
    FileObject* file = fileArgument(lisp, args[0]);
    if (file->writing) lisp.fail("bad argument value: a file opened for writing");
    // Each byte is looked at once, however long the line.
    size_t newline, scanned = 0;
    while ((newline = file->pending.find('\n', scanned)) == std::string::npos && !file->atEnd) {
      if (file->pending.size() > kMaxLineBytes) {
        lisp.fail("line too long: over " + std::to_string(kMaxLineBytes >> 20) + " MiB in " +
                  platform::toUtf8(file->name));
      }
      scanned = file->pending.size();
      const size_t chunk = 1 << 16;
      file->pending.resize(scanned + chunk);
      size_t got = 0;
      const bool read =
          file->file->read(file->offset, file->pending.data() + scanned, chunk, &got).ok();
      file->pending.resize(scanned + got);
      if (!read) lisp.fail("read failed: " + platform::toUtf8(file->name));
      file->offset += got;
      file->atEnd = got == 0;
    }
    if (file->pending.empty() && file->atEnd) return Value();
    if (newline == std::string::npos) newline = file->pending.size();
    line = file->pending.substr(0, newline);
    file->pending.erase(0, std::min(newline + 1, file->pending.size()));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Value::string(platform::fromUtf8(line));
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
      // files and output
      {"OPEN", open},
      {"CLOSE", close},
      {"READ-LINE", readLine},
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
