// Comparisons and tests of values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "library.h"

namespace lisp {

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

namespace {

// One pair of values, atoms compared at once.
bool similarAtoms(const Value& a, const Value& b, double fuzz) {
  if (isNumber(a) && isNumber(b)) {
    const double x = a.type() == Type::kInt ? a.asInt() : a.asReal();
    const double y = b.type() == Type::kInt ? b.asInt() : b.asReal();
    return std::fabs(x - y) <= fuzz;
  }
  if (a.type() != b.type()) return false;
  if (a.type() == Type::kString) return a.text() == b.text();
  return identical(a, b);
}

}  // namespace

bool similar(const Value& a, const Value& b, double fuzz) {
  // The pairs still to compare: cars wait here while the cdrs are walked,
  // so neither long nor deep lists take native stack.
  std::vector<std::pair<Value, Value>> waiting{{a, b}};
  while (!waiting.empty()) {
    Value x = std::move(waiting.back().first), y = std::move(waiting.back().second);
    waiting.pop_back();
    while (x.type() == Type::kCons && y.type() == Type::kCons) {
      if (x.asObject() == y.asObject()) break;
      const Value& xa = x.cons()->car;
      const Value& ya = y.cons()->car;
      if (xa.type() == Type::kCons || ya.type() == Type::kCons) {
        waiting.emplace_back(xa, ya);
      } else if (!similarAtoms(xa, ya, fuzz)) {
        return false;
      }
      Value nx = x.cons()->cdr, ny = y.cons()->cdr;
      x = std::move(nx);
      y = std::move(ny);
    }
    if (x.type() == Type::kCons && y.type() == Type::kCons) continue;  // the same cell
    if (x.type() == Type::kCons || y.type() == Type::kCons) return false;
    if (!similarAtoms(x, y, fuzz)) return false;
  }
  return true;
}

namespace {

// <0, 0 or >0: numbers by value, strings by their characters.
int compare(Interpreter& lisp, const Value& a, const Value& b) {
  if (a.type() == Type::kString && b.type() == Type::kString) return a.text().compare(b.text());
  const double x = number(lisp, a), y = number(lisp, b);
  return x < y ? -1 : x > y ? 1 : 0;
}

template <typename Test>
Value chain(Interpreter& lisp, Args& args, Test test) {
  if (args.size() == 2 && args[0].isInt() && args[1].isInt()) {  // most comparisons
    const int32_t x = args[0].asInt(), y = args[1].asInt();
    return truth(test(x < y ? -1 : x > y ? 1 : 0), lisp);
  }
  need(lisp, args, 1, SIZE_MAX);
  bool holds = true;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (!test(compare(lisp, args[i], args[i + 1]))) holds = false;
  }
  if (args.size() == 1) compare(lisp, args[0], args[0]);  // checks the type
  return truth(holds, lisp);
}

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

Value eq(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  return truth(identical(args[0], args[1]), lisp);
}

Value equal(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const double fuzz = args.size() == 3 ? number(lisp, args[2]) : 0;
  return truth(similar(args[0], args[1], fuzz), lisp);
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
  static const char16_t* const kNames[] = {nullptr,
                                           u"INT",
                                           u"REAL",
                                           u"STR",
                                           u"SYM",
                                           u"LIST",
                                           u"SUBR",
                                           u"USUBR",
                                           u"EXRXSUBR",
                                           u"FILE",
                                           u"VL-CATCH-ALL-APPLY-ERROR"};
  const char16_t* name = kNames[static_cast<int>(args[0].type())];
  return name ? Value::object(lisp.intern(name)) : Value();
}

}  // namespace

std::span<const Subr> predicateFunctions() {
  static const Subr table[] = {
      {"=", equalNumbers},  {"/=", notEqual},       {"<", less},        {">", greater},
      {"<=", lessOrEqual},  {">=", greaterOrEqual}, {"EQ", eq},         {"EQUAL", equal},
      {"NOT", isNull},      {"NULL", isNull},       {"LISTP", listp},   {"ATOM", atom},
      {"NUMBERP", numberp}, {"ZEROP", zerop},       {"MINUSP", minusp}, {"BOUNDP", boundp},
      {"TYPE", type},
  };
  return table;
}

}  // namespace lisp
