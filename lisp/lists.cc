// Lists: cells, walking, building, mapping and applying.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "library.h"

namespace lisp {

std::vector<Value> elements(Interpreter& lisp, const Value& v) {
  if (listLength(list(lisp, v)) < 0) lisp.badType("listp", v);
  std::vector<Value> items;
  for (Value at = v; at.type() == Type::kCons; at = cdr(at)) items.push_back(car(at));
  return items;
}

void badValue(Interpreter& lisp, const Value& v) {
  lisp.fail("bad argument value: " + prin1String(v, lisp.reals()));
}

namespace {

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
  if (n < 0) lisp.fail("bad argument value: " + prin1String(args[0], lisp.reals()));
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
    if (entry.type() == Type::kCons && similar(car(entry), args[0], 0)) return entry;
  }
  return Value();
}

Value member(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at)) {
    if (similar(car(at), args[0], 0)) return at;
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
  std::vector<Value> callArgs;
  Value function;  // a lambda is made at the first call, once
  for (;;) {
    callArgs.clear();
    for (Value& l : lists) {
      if (l.type() != Type::kCons) return makeList(std::move(results));
      callArgs.push_back(car(l));
      l = cdr(l);
    }
    if (function.isNil()) function = preparedFunction(lisp, args[0]);
    results.push_back(callFunction(lisp, function, callArgs));
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

// (subst NEW OLD LIST): LIST with every element equal to OLD replaced.
Value substitute(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 3);
  std::vector<Value> items = elements(lisp, args[2]);
  for (Value& item : items) {
    if (similar(item, args[1], 0)) item = args[0];
  }
  return makeList(std::move(items));
}

Value setSymbol(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  Symbol* symbol = args[0].symbol();
  if (symbol->constant)
    lisp.fail("attempt to set a constant: " + prin1String(args[0], lisp.reals()));
  symbol->value = args[1];
  return args[1];
}

}  // namespace

std::span<const Subr> listFunctions() {
  static const Subr table[] = {
      {"CAR", walk<kA>},       {"CDR", walk<kD>},       {"CAAR", walk<kAA>},
      {"CADR", walk<kAD>},     {"CDAR", walk<kDA>},     {"CDDR", walk<kDD>},
      {"CAAAR", walk<kAAA>},   {"CAADR", walk<kAAD>},   {"CADAR", walk<kADA>},
      {"CADDR", walk<kADD>},   {"CDAAR", walk<kDAA>},   {"CDADR", walk<kDAD>},
      {"CDDAR", walk<kDDA>},   {"CDDDR", walk<kDDD>},   {"CAAAAR", walk<kAAAA>},
      {"CAAADR", walk<kAAAD>}, {"CAADAR", walk<kAADA>}, {"CAADDR", walk<kAADD>},
      {"CADAAR", walk<kADAA>}, {"CADADR", walk<kADAD>}, {"CADDAR", walk<kADDA>},
      {"CADDDR", walk<kADDD>}, {"CDAAAR", walk<kDAAA>}, {"CDAADR", walk<kDAAD>},
      {"CDADAR", walk<kDADA>}, {"CDADDR", walk<kDADD>}, {"CDDAAR", walk<kDDAA>},
      {"CDDADR", walk<kDDAD>}, {"CDDDAR", walk<kDDDA>}, {"CDDDDR", walk<kDDDD>},
      {"CONS", makeCons},      {"LIST", makeListOf},    {"NTH", nth},
      {"LENGTH", length},      {"APPEND", append},      {"REVERSE", reverse},
      {"ASSOC", assoc},        {"MEMBER", member},      {"LAST", last},
      {"MAPCAR", mapcar},      {"APPLY", apply},        {"EVAL", evaluate},
      {"SUBST", substitute},   {"SET", setSymbol},
  };
  return table;
}

}  // namespace lisp
