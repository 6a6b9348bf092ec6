// Typed input, as the hosts' command line takes it: initget and the get
// functions. Each request shows its prompt and reads a line from the
// Interpreter's input source; a line that does not answer it says why, in
// the hosts' words, and the prompt is shown again. At the end of the input a
// request answers nil, as a cancelled one does.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "library.h"
#include "platform/case_map.h"
#include "platform/text.h"

namespace lisp {
namespace {

// initget's bits.
constexpr int32_t kNoNull = 1, kNoZero = 2, kNoNegative = 4, kNoZ = 64, kArbitrary = 128;

std::u16string upper(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = platform::windowsUpper(c);
  return out;
}

std::u16string_view trimmed(std::u16string_view s) {
  const size_t first = s.find_first_not_of(u" \t");
  if (first == std::u16string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(u" \t") - first + 1);
}

// One keyword of initget's list: what a request answers, and what may be
// typed for it. "LType" is typed as LT, LTY, LTYP or LTYPE (its capitals
// begin it); "LTYPE,LT" likewise; "eXit" as X or EXIT; "YES" or "yes" only
// whole.
struct Keyword {
  std::u16string name;      // as the list gives it, the answer
  std::u16string whole;     // upper case
  std::u16string shortest;  // upper case: the least that may be typed
  bool prefixes = false;    // whether anything from `shortest` to `whole` counts

  bool matches(std::u16string_view typed) const {
    const std::u16string t = upper(typed);
    if (t.empty()) return false;
    if (t == whole || t == shortest) return true;
    return prefixes && t.size() >= shortest.size() && whole.starts_with(t);
  }
};

Keyword makeKeyword(std::u16string_view token) {
  Keyword k;
  if (const size_t comma = token.find(u','); comma != std::u16string_view::npos) {
    k.name = token.substr(0, comma);
    k.whole = upper(k.name);
    k.shortest = upper(token.substr(comma + 1));
    k.prefixes = k.whole.starts_with(k.shortest);
    return k;
  }
  k.name = token;
  k.whole = upper(token);
  auto isLower = [](char16_t c) { return platform::windowsUpper(c) != c; };
  auto isCapital = [](char16_t c) { return platform::windowsLower(c) != c; };
  // What comes before the first small letter ("LT" of LType, "2P" of
  // 2Points) may be followed by any more of the word.
  const auto firstLower =
      static_cast<size_t>(std::find_if(token.begin(), token.end(), isLower) - token.begin());
  if (firstLower == token.size()) {
    k.shortest = k.whole;  // no small letter: typed whole
    return k;
  }
  const std::u16string_view leading = token.substr(0, firstLower);
  if (std::any_of(leading.begin(), leading.end(), isCapital)) {
    k.shortest = upper(leading);
    k.prefixes = true;
    return k;
  }
  // Capitals further in ("X" of eXit) are typed alone, or the whole word.
  for (char16_t c : token) {
    if (isCapital(c)) k.shortest += c;
  }
  if (k.shortest.empty()) k.shortest = k.whole;
  return k;
}

// initget's keywords: local ones, then after "_" the global ones they stand
// for. A request answers the global keyword of what was typed, and "_NAME"
// is the global keyword typed directly.
struct Keywords {
  std::vector<Keyword> local, global;

  explicit Keywords(std::u16string_view list) {
    bool globals = false;
    size_t at = 0;
    while (at < list.size()) {
      const size_t end = std::min(list.find(u' ', at), list.size());
      const std::u16string_view token = list.substr(at, end - at);
      at = end + 1;
      if (token.empty()) continue;
      if (token == u"_") {
        globals = true;
        continue;
      }
      (globals ? global : local).push_back(makeKeyword(token));
    }
  }
  bool empty() const { return local.empty() && global.empty(); }

  std::optional<std::u16string> find(std::u16string_view typed) const {
    if (typed.starts_with(u"_") && !global.empty()) {
      for (const Keyword& k : global) {
        if (k.matches(typed.substr(1))) return k.name;
      }
      return std::nullopt;
    }
    for (size_t i = 0; i < local.size(); ++i) {
      if (local[i].matches(typed)) return i < global.size() ? global[i].name : local[i].name;
    }
    if (local.empty()) {
      for (const Keyword& k : global) {
        if (k.matches(typed)) return k.name;
      }
    }
    return std::nullopt;
  }
};

// A request's settings, taken from initget as it begins: they apply to that
// request only.
struct Request {
  int32_t bits;
  Keywords keywords;
  std::string prompt;

  Request(Interpreter& lisp, std::string shown)
      : bits(lisp.prompting.bits), keywords(lisp.prompting.keywords), prompt(std::move(shown)) {
    lisp.prompting.bits = 0;
    lisp.prompting.keywords.clear();
  }
};

// Text typed at a terminal is in its encoding (UTF-8); a file of answers may
// be in the ANSI code page. Bytes that are neither are an error, never a
// substitute character.
std::u16string decodeTyped(Interpreter& lisp, std::string_view bytes) {
  if (platform::isValidUtf8(bytes)) return platform::fromUtf8(bytes);
  std::u16string text;
  if (platform::fromCodePageExact(platform::ansiCodePage(), bytes, &text)) return text;
  lisp.fail("bad text: bytes that are no characters in code page " +
            std::to_string(platform::ansiCodePage()));
}

// A line of typed input; nullopt at the end of the input.
std::optional<std::u16string> readLine(Interpreter& lisp, const std::string& prompt) {
  std::string line;
  switch (lisp.readInput(prompt, &line)) {
    case InputStatus::kEnd:
      return std::nullopt;
    case InputStatus::kCancelled:
      lisp.cancel();
    case InputStatus::kLine:
      break;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return decodeTyped(lisp, line);
}

// Says why the line was refused, on a line of its own.
void refuse(Interpreter& lisp, const char* message) {
  lisp.write(std::string(hostOutputAtLineStart() ? "" : "\n") + message + "\n");
}

std::string promptArgument(Interpreter& lisp, const Value& v) {
  return platform::toUtf8(text(lisp, v));
}

std::optional<double> realFromText(std::u16string_view typed) {
  const std::string s = platform::toUtf8(typed);
  if (s.empty() || s.find_first_not_of("+-.0123456789eE") != std::string::npos) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double x = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

// "x,y" or "x,y,z" (each a distance in any of the units' forms); "@dx,dy"
// is relative to `base`, and "@" is `base` itself.
std::optional<std::vector<double>> pointFromText(std::u16string_view typed, const double* base) {
  bool relative = false;
  if (typed.starts_with(u"@")) {
    relative = true;
    typed.remove_prefix(1);
  }
  if (relative && trimmed(typed).empty()) return std::vector<double>(base, base + 3);  // "@"
  std::vector<double> point;
  size_t at = 0;
  for (;;) {
    const size_t comma = std::min(typed.find(u',', at), typed.size());
    std::optional<double> x =
        distanceFromText(platform::toUtf8(trimmed(typed.substr(at, comma - at))));
    if (!x) return std::nullopt;
    point.push_back(*x);
    if (comma == typed.size()) break;
    at = comma + 1;
  }
  if (point.size() < 2 || point.size() > 3) return std::nullopt;
  point.resize(3, 0.0);
  if (relative) {
    for (int i = 0; i < 3; ++i) point[i] += base[i];
  }
  return point;
}

Value pointValue(const std::vector<double>& p) {
  return makeList({Value::real(p[0]), Value::real(p[1]), Value::real(p[2])});
}

// A point argument (a list of two or three numbers).
std::vector<double> pointArgument(Interpreter& lisp, const Value& v) {
  std::vector<Value> items = elements(lisp, v);
  if (items.size() < 2 || items.size() > 3) badValue(lisp, v);
  std::vector<double> p;
  for (const Value& item : items) p.push_back(number(lisp, item));
  p.resize(3, 0.0);
  return p;
}

// The arguments [PT] [MSG] of getpoint, getdist, getangle, getorient.
void pointAndPrompt(Interpreter& lisp, const Args& args, std::optional<std::vector<double>>* base,
                    std::string* prompt) {
  need(lisp, args, 0, 2);
  for (const Value& arg : args) {
    if (arg.type() == Type::kString) {
      *prompt = promptArgument(lisp, arg);
    } else if (!arg.isNil()) {
      *base = pointArgument(lisp, arg);
    }
  }
}

// What a request makes of a line it cannot read as its own kind of value:
// a keyword, the line itself (initget 128), or nothing.
std::optional<Value> keywordOrArbitrary(const Request& request, std::u16string_view typed) {
  if (std::optional<std::u16string> keyword = request.keywords.find(trimmed(typed))) {
    return Value::string(*keyword);
  }
  if (request.bits & kArbitrary) return Value::string(std::u16string(typed));
  return std::nullopt;
}

// The bits that limit a number: "Value must be positive and nonzero."
const char* numberRefusal(int32_t bits, double x) {
  const bool noZero = bits & kNoZero, noNegative = bits & kNoNegative;
  if (noZero && x == 0)
    return noNegative ? "Value must be positive and nonzero." : "Value must be nonzero.";
  if (noNegative && x < 0)
    return noZero ? "Value must be positive and nonzero." : "Value must be positive.";
  return nullptr;
}

// The input ended while a request waited for a second point.
struct InputEnded {};

// The loop every request but getstring shares: prompt, read, and either an
// answer or a refusal and the prompt again. `parse` answers the value a
// line stands for, or nullopt with *why set.
template <typename Parse>
Value ask(Interpreter& lisp, const Request& request, const char* needed, Parse parse) {
  for (;;) {
    std::optional<std::u16string> line = readLine(lisp, request.prompt);
    if (!line) return Value();
    std::optional<Value> value;
    const char* why = needed;
    try {
      if (!trimmed(*line).empty()) value = parse(trimmed(*line), &why);
    } catch (const InputEnded&) {
      return Value();
    }
    if (value) return *value;
    if (trimmed(*line).empty()) {
      if (request.bits & kArbitrary && request.bits & kNoNull) return Value::string(u"");
      if (!(request.bits & kNoNull)) return Value();
      refuse(lisp, needed);
      continue;
    }
    if (std::optional<Value> other = keywordOrArbitrary(request, *line)) return *other;
    refuse(lisp, why);
  }
}

// A point read for the second end of a distance or angle; nullopt at the
// end of the input.
std::optional<std::vector<double>> secondPoint(Interpreter& lisp, const double* first) {
  for (;;) {
    std::optional<std::u16string> line = readLine(lisp, "\nSpecify second point: ");
    if (!line) return std::nullopt;
    if (std::optional<std::vector<double>> p = pointFromText(trimmed(*line), first)) return p;
    refuse(lisp, "Invalid point.");
  }
}

void rememberPoint(Interpreter& lisp, const std::vector<double>& p) {
  for (int i = 0; i < 3; ++i) lisp.prompting.lastPoint[i] = p[i];
}

// (initget [BITS] [KEYWORDS]): the bits and keywords of the next request.
Value initget(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  int32_t bits = 0;
  std::u16string keywords;
  size_t at = 0;
  if (at < args.size() && args[at].type() != Type::kString) {
    if (!args[at].isNil()) bits = integer(lisp, args[at]);
    ++at;
  }
  if (at < args.size()) keywords = text(lisp, args[at++]);
  if (at < args.size()) lisp.badType("stringp", args[at]);
  lisp.prompting.bits = bits;
  lisp.prompting.keywords = keywords;
  return Value();
}

// (getstring [CR] [MSG]): a line of text. Without CR, a space ends it as
// Enter does, and what follows the space answers the next request.
Value getstring(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  bool spaces = false;
  std::string prompt;
  if (args.size() == 2) {
    spaces = !args[0].isNil();
    prompt = promptArgument(lisp, args[1]);
  } else if (args.size() == 1) {
    if (args[0].type() == Type::kString) {
      prompt = promptArgument(lisp, args[0]);
    } else {
      spaces = !args[0].isNil();
    }
  }
  std::string line;
  switch (lisp.readInput(prompt, &line)) {
    case InputStatus::kEnd:
      return Value();
    case InputStatus::kCancelled:
      lisp.cancel();
    case InputStatus::kLine:
      break;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!spaces) {
    if (const size_t space = line.find(' '); space != std::string::npos) {
      lisp.prompting.typeAhead = line.substr(space + 1);
      line.resize(space);
    }
  }
  return Value::string(decodeTyped(lisp, line));
}

// (getint [MSG]): an integer the hosts' 16 bits hold.
Value getint(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  const Request request(lisp, args.empty() ? "" : promptArgument(lisp, args[0]));
  return ask(lisp, request, "Requires an integer value.",
             [&](std::u16string_view typed, const char** why) -> std::optional<Value> {
               std::optional<double> x = realFromText(typed);
               if (!x || std::floor(*x) != *x ||
                   platform::toUtf8(typed).find_first_of(".eE") != std::string::npos) {
                 return std::nullopt;
               }
               if (*x < -32768 || *x > 32767) {
                 *why = "Requires an integer between -32768 and 32767.";
                 return std::nullopt;
               }
               if ((*why = numberRefusal(request.bits, *x))) return std::nullopt;
               return Value::integer(static_cast<int32_t>(*x));
             });
}

// (getreal [MSG]): a number, as a real.
Value getreal(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  const Request request(lisp, args.empty() ? "" : promptArgument(lisp, args[0]));
  return ask(lisp, request, "Requires numeric value.",
             [&](std::u16string_view typed, const char** why) -> std::optional<Value> {
               std::optional<double> x = realFromText(typed);
               if (!x) return std::nullopt;
               if ((*why = numberRefusal(request.bits, *x))) return std::nullopt;
               return Value::real(*x);
             });
}

// (getkword [MSG]): one of initget's keywords; nil without any.
Value getkword(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  const Request request(lisp, args.empty() ? "" : promptArgument(lisp, args[0]));
  if (request.keywords.empty() && !(request.bits & kArbitrary)) return Value();
  return ask(lisp, request, "Invalid option keyword.",
             [](std::u16string_view, const char**) { return std::optional<Value>(); });
}

// (getpoint [PT] [MSG]): a point typed as x,y[,z] (or @dx,dy from PT, else
// from the last point), as a list of three reals.
Value getpoint(Interpreter& lisp, Args& args) {
  std::optional<std::vector<double>> base;
  std::string prompt;
  pointAndPrompt(lisp, args, &base, &prompt);
  const Request request(lisp, prompt);
  const double* from = base ? base->data() : lisp.prompting.lastPoint;
  Value answer =
      ask(lisp, request,
          request.keywords.empty() ? "Invalid point." : "Point or option keyword required.",
          [&](std::u16string_view typed, const char**) -> std::optional<Value> {
            std::optional<std::vector<double>> p = pointFromText(typed, from);
            if (!p) return std::nullopt;
            rememberPoint(lisp, *p);
            return pointValue(*p);
          });
  return answer;
}

// (getcorner PT [MSG]): the other corner of a rectangle from PT.
Value getcorner(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::vector<double> base = pointArgument(lisp, args[0]);
  const Request request(lisp, args.size() == 2 ? promptArgument(lisp, args[1]) : "");
  return ask(lisp, request,
             request.keywords.empty() ? "Invalid point." : "Point or option keyword required.",
             [&](std::u16string_view typed, const char**) -> std::optional<Value> {
               std::optional<std::vector<double>> p = pointFromText(typed, base.data());
               if (!p) return std::nullopt;
               rememberPoint(lisp, *p);
               return pointValue(*p);
             });
}

// (getdist [PT] [MSG]): a distance typed in any of the units' forms, or
// given by two points (the first may be PT).
Value getdist(Interpreter& lisp, Args& args) {
  std::optional<std::vector<double>> base;
  std::string prompt;
  pointAndPrompt(lisp, args, &base, &prompt);
  const Request request(lisp, prompt);
  return ask(lisp, request, "Requires numeric distance or two points.",
             [&](std::u16string_view typed, const char** why) -> std::optional<Value> {
               double d = 0;
               const double* from = base ? base->data() : lisp.prompting.lastPoint;
               if (std::optional<double> x = distanceFromText(platform::toUtf8(typed))) {
                 d = *x;
               } else if (std::optional<std::vector<double>> p = pointFromText(typed, from)) {
                 std::vector<double> first = base ? *base : *p;
                 if (!base) {
                   std::optional<std::vector<double>> second = secondPoint(lisp, p->data());
                   if (!second) throw InputEnded{};
                   p = second;
                 }
                 const double dz = request.bits & kNoZ ? 0 : (*p)[2] - first[2];
                 d = std::hypot((*p)[0] - first[0], (*p)[1] - first[1], dz);
               } else {
                 return std::nullopt;
               }
               if ((*why = numberRefusal(request.bits, d))) return std::nullopt;
               return Value::real(d);
             });
}

// (getangle [PT] [MSG]) and (getorient [PT] [MSG]): an angle typed in any of
// angtof's forms (45, 45d30', 50g, 0.7854r, N45dE), or given by two points,
// in radians from 0 up to 2 pi. With the hosts' default ANGBASE and ANGDIR
// the two are the same.
Value getangle(Interpreter& lisp, Args& args) {
  std::optional<std::vector<double>> base;
  std::string prompt;
  pointAndPrompt(lisp, args, &base, &prompt);
  const Request request(lisp, prompt);
  return ask(lisp, request, "Requires valid numeric angle or second point.",
             [&](std::u16string_view typed, const char** why) -> std::optional<Value> {
               const std::string s = platform::toUtf8(typed);
               for (int mode : {0, 2, 3, 4}) {
                 if (std::optional<double> a = angleFromText(s, mode)) {
                   if ((*why = numberRefusal(request.bits, *a))) return std::nullopt;
                   return Value::real(*a);
                 }
               }
               const double* from = base ? base->data() : lisp.prompting.lastPoint;
               std::optional<std::vector<double>> p = pointFromText(typed, from);
               if (!p) return std::nullopt;
               std::vector<double> first = base ? *base : *p;
               if (!base) {
                 std::optional<std::vector<double>> second = secondPoint(lisp, p->data());
                 if (!second) throw InputEnded{};
                 p = second;
               }
               double a = std::atan2((*p)[1] - first[1], (*p)[0] - first[0]);
               if (a < 0) a += 2 * 3.141592653589793;
               if ((*why = numberRefusal(request.bits, a))) return std::nullopt;
               return Value::real(a);
             });
}

}  // namespace

std::span<const Subr> inputFunctions() {
  static const Subr table[] = {
      {"INITGET", initget},     {"GETSTRING", getstring}, {"GETINT", getint},
      {"GETREAL", getreal},     {"GETKWORD", getkword},   {"GETPOINT", getpoint},
      {"GETCORNER", getcorner}, {"GETDIST", getdist},     {"GETANGLE", getangle},
      {"GETORIENT", getangle},
  };
  return table;
}

}  // namespace lisp
