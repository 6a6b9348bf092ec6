// The Visual LISP string functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "library.h"
#include "platform/text.h"

namespace lisp {
namespace {

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
    if (c < 1 || c > 0xFFFF) lisp.fail("bad argument value: " + prin1String(code, lisp.reals()));
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
    lisp.fail("bad argument value: " + prin1String(args[1], lisp.reals()));
  }
  return Value::integer(s[static_cast<size_t>(at)]);
}

// (vl-string-translate FROM TO STRING): each character of STRING that is
// in FROM replaced by the one at its place in TO (kept when TO is shorter).
Value stringTranslate(Interpreter& lisp, Args& args) {
  need(lisp, args, 3, 3);
  const std::u16string& from = text(lisp, args[0]);
  const std::u16string& to = text(lisp, args[1]);
  std::u16string s = text(lisp, args[2]);
  for (char16_t& c : s) {
    const size_t at = from.find(c);
    if (at != std::u16string::npos && at < to.size()) c = to[at];
  }
  return Value::string(std::move(s));
}

// (vl-string-mismatch A B [POSITION-A POSITION-B IGNORE-CASE]): how many
// characters from those positions (0 by default) are the same in both.
Value stringMismatch(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 5);
  const std::u16string& a = text(lisp, args[0]);
  const std::u16string& b = text(lisp, args[1]);
  auto position = [&](size_t i) -> size_t {
    if (args.size() <= i || args[i].isNil()) return 0;
    const int32_t p = integer(lisp, args[i]);
    if (p < 0) badValue(lisp, args[i]);
    return static_cast<size_t>(p);
  };
  size_t i = position(2), j = position(3);
  const bool ignoreCase = args.size() == 5 && !args[4].isNil();
  const std::u16string x = ignoreCase ? platform::toUpperWide(a) : a;
  const std::u16string y = ignoreCase ? platform::toUpperWide(b) : b;
  int32_t same = 0;
  for (; i < x.size() && j < y.size() && x[i] == y[j]; ++i, ++j) ++same;
  return Value::integer(same);
}

}  // namespace

std::span<const Subr> vlStringFunctions() {
  static const Subr table[] = {
      {"VL-STRING-SEARCH", stringSearch},
      {"VL-STRING-SUBST", stringSubst},
      {"VL-STRING-TRIM", stringTrim<true, true>},
      {"VL-STRING-LEFT-TRIM", stringTrim<true, false>},
      {"VL-STRING-RIGHT-TRIM", stringTrim<false, true>},
      {"VL-STRING->LIST", stringToList},
      {"VL-LIST->STRING", listToString},
      {"VL-STRING-POSITION", stringPosition},
      {"VL-STRING-ELT", stringElement},
      {"VL-STRING-TRANSLATE", stringTranslate},
      {"VL-STRING-MISMATCH", stringMismatch},
  };
  return table;
}

}  // namespace lisp
