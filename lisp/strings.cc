// Strings: joining, cutting, converting, and wild-card matching.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "library.h"
#include "platform/env.h"
#include "platform/text.h"

namespace lisp {

Value concatenate(Interpreter& lisp, Args& args) {
  uint64_t size = 0;
  for (const Value& a : args) size += text(lisp, a).size();
  lisp.reserveString(size * sizeof(char16_t));
  std::u16string out;
  out.reserve(size);
  for (const Value& a : args) out += a.text();
  return Value::string(std::move(out));
}

namespace {

Value strlen(Interpreter& lisp, Args& args) {
  size_t n = 0;
  for (const Value& a : args) n += text(lisp, a).size();
  return Value::integer(static_cast<int32_t>(n));
}

Value substr(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const std::u16string& s = text(lisp, args[0]);
  const int32_t start = integer(lisp, args[1]);
  if (start < 1) lisp.fail("bad argument value: " + prin1String(args[1], lisp.reals()));
  int64_t count = args.size() == 3 ? integer(lisp, args[2]) : int64_t{INT32_MAX};
  if (count < 0) lisp.fail("bad argument value: " + prin1String(args[2], lisp.reals()));
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

Value ascii(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::u16string& s = text(lisp, args[0]);
  return Value::integer(s.empty() ? 0 : s[0]);
}

Value chr(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const int32_t code = integer(lisp, args[0]);
  if (code < 0 || code > 0xFFFF)
    lisp.fail("bad argument value: " + prin1String(args[0], lisp.reals()));
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

// (snvalid NAME [FLAG]): whether NAME may name a layer, a block, a style or
// any entry of a drawing's tables. With EXTNAMES 1 (the default) any
// character but the controls and < > / \ " : ? * | , = ` ; goes, at any
// length; with EXTNAMES 0, up to 31 of the letters A-Z, digits, $ _ and -.
// FLAG 1 lets | stand inside the name (an external reference's entries).
Value snvalid(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string& name = text(lisp, args[0]);
  const int32_t flag = args.size() == 2 && !args[1].isNil() ? integer(lisp, args[1]) : 0;
  const bool extended = integerVariable(lisp, u"EXTNAMES") != 0;
  if (name.empty() || (!extended && name.size() > 31)) return Value();
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == u'|') {
      if (flag != 1 || i == 0 || i + 1 == name.size()) return Value();
    } else if (extended) {
      if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) ||
          std::u16string_view(u"<>/\\\":?*,=`;").find(c) != std::u16string_view::npos) {
        return Value();
      }
    } else if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                 c == u'$' || c == u'_' || c == u'-')) {
      return Value();
    }
  }
  return Value::object(lisp.trueSymbol());
}

}  // namespace

std::span<const Subr> stringFunctions() {
  static const Subr table[] = {
      {"STRCAT", concatenate}, {"STRLEN", strlen},   {"SUBSTR", substr},
      {"STRCASE", strcase},    {"ITOA", itoa},       {"ATOI", atoi},
      {"ATOF", atof},          {"ASCII", ascii},     {"CHR", chr},
      {"READ", read},          {"WCMATCH", wcmatch}, {"ACAD_STRLSORT", sortStrings},
      {"SNVALID", snvalid},
  };
  return table;
}

}  // namespace lisp
