// What the families of built-in functions share: argument checks and the
// tables each family registers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "internal.h"

namespace lisp {

using Args = std::vector<Value>;

inline Value truth(bool b, Interpreter& lisp) {
  return b ? Value::object(lisp.trueSymbol()) : Value();
}

inline void need(Interpreter& lisp, const Args& args, size_t least, size_t most) {
  if (args.size() < least) lisp.fail("too few arguments");
  if (args.size() > most) lisp.fail("too many arguments");
}

inline bool isNumber(const Value& v) {
  return v.type() == Type::kInt || v.type() == Type::kReal;
}
inline bool isList(const Value& v) {
  return v.isNil() || v.type() == Type::kCons;
}

inline double number(Interpreter& lisp, const Value& v) {
  if (v.type() == Type::kInt) return v.asInt();
  if (v.type() == Type::kReal) return v.asReal();
  lisp.badType("numberp", v);
}

inline int32_t integer(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kInt) lisp.badType("fixnump", v);
  return v.asInt();
}

inline const std::u16string& text(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kString) lisp.badType("stringp", v);
  return v.text();
}

inline const Value& list(Interpreter& lisp, const Value& v) {
  if (!isList(v)) lisp.badType("consp", v);
  return v;
}

inline const Symbol* symbolArgument(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kSymbol) lisp.badType("symbolp", v);
  return v.symbol();
}

// 32-bit integers wrap around, as the host's do.
inline int32_t wrap(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

// strcat: the strings joined.
Value concatenate(Interpreter& lisp, Args& args);

// (setq S (strcat S MORE...)) when S's string is S's alone: MORE added where
// the string is. False, having evaluated nothing, for any other form.
bool appendInPlace(Interpreter& lisp, Symbol* target, const Value& form, Value* result);

// "bad argument value: V"
[[noreturn]] void badValue(Interpreter& lisp, const Value& v);

// The elements of a proper list; fails for anything else.
std::vector<Value> elements(Interpreter& lisp, const Value& v);

// eq: the same object, or equal numbers of one type.
bool identical(const Value& a, const Value& b);
// equal: the same structure, numbers within `fuzz`; any depth.
bool similar(const Value& a, const Value& b, double fuzz);

// A distance in any of rtos's forms (17.5, 1'-5.5", 17 1/2), and an angle
// in radians, from 0 up to 2 pi, in angtof's mode `mode`; nullopt for text
// that is neither.
std::optional<double> distanceFromText(const std::string& text);
std::optional<double> angleFromText(const std::string& text, int mode);

// The families, each a table of its functions (special forms among them).
std::span<const Subr> specialForms();
std::span<const Subr> numberFunctions();
std::span<const Subr> unitFunctions();
std::span<const Subr> predicateFunctions();
std::span<const Subr> listFunctions();
std::span<const Subr> stringFunctions();
std::span<const Subr> systemFunctions();
std::span<const Subr> fileFunctions();
std::span<const Subr> vlListFunctions();
std::span<const Subr> vlStringFunctions();
std::span<const Subr> vlFileFunctions();
std::span<const Subr> variableFunctions();
std::span<const Subr> measureFunctions();
std::span<const Subr> inputFunctions();

}  // namespace lisp
