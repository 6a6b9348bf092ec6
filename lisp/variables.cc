// System variables: getvar and setvar over those a run without a drawing
// can honour, with the hosts' types, defaults and read-only ones.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unordered_map>

#if !defined(_WIN32)
#include <sys/utsname.h>
#endif

#include "host/library.h"
#include "library.h"
#include "platform/text.h"

namespace lisp {
namespace {

enum class Kind { kInt, kReal, kString };

struct Variable {
  const char16_t* name;
  Kind kind;
  int32_t low = 0, high = 0;  // an integer's range
  int32_t integer = 0;        // the default of an integer
  Value (*read)() = nullptr;  // a read-only variable's value
};

// ---------------------------------------------------------------- read-only

std::tm localNow(int* milliseconds) {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  *milliseconds = static_cast<int>(ms.count() % 1000);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

// The days from 1 January 1970 to a civil date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// YYYYMMDD.HHMMSSmsec, in local time.
Value calendarDate() {
  int ms = 0;
  const std::tm t = localNow(&ms);
  const double day = (t.tm_year + 1900) * 10000.0 + (t.tm_mon + 1) * 100.0 + t.tm_mday;
  const double time = t.tm_hour * 1e7 + t.tm_min * 1e5 + t.tm_sec * 1e3 + ms;
  return Value::real(day + time / 1e9);
}

// The Julian day number of the local date, and the fraction of the day
// since midnight.
Value julianDate() {
  int ms = 0;
  const std::tm t = localNow(&ms);
  const int64_t days = daysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) + 2440588;
  const double fraction = ((t.tm_hour * 60.0 + t.tm_min) * 60.0 + t.tm_sec + ms / 1000.0) / 86400;
  return Value::real(static_cast<double>(days) + fraction);
}

// Milliseconds of a clock that starts with the system, wrapping in 32 bits.
Value milliseconds() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return Value::integer(wrap(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()));
}

// A folder with the separator at its end, as the hosts give folders.
std::u16string withSeparator(std::u16string folder) {
#if defined(_WIN32)
  const char16_t separator = u'\\';
#else
  const char16_t separator = u'/';
#endif
  if (folder.empty() || (folder.back() != u'/' && folder.back() != u'\\')) folder += separator;
  return folder;
}

// The drawing's folder: the current folder, where the run works.
Value drawingPrefix() {
  std::error_code error;
  const std::u16string here = std::filesystem::current_path(error).u16string();
  return Value::string(error ? u"" : withSeparator(here));
}

Value drawingName() {
  return Value::string(u"Drawing1.dwg");
}

Value temporaryPrefix() {
  std::optional<std::u16string> temp = zc::environmentText(u"TEMP");
  if (!temp || temp->empty()) temp = zc::environmentText(u"TMP");
#if defined(_WIN32)
  return Value::string(withSeparator(temp && !temp->empty() ? *temp : u"."));
#else
  if (!temp || temp->empty()) temp = zc::environmentText(u"TMPDIR");
  return Value::string(withSeparator(temp && !temp->empty() ? *temp : u"/tmp"));
#endif
}

Value systemCodePage() {
  return Value::string(u"ANSI_" + platform::fromUtf8(std::to_string(platform::ansiCodePage())));
}

Value platformName() {
#if defined(_WIN32)
  return Value::string(sizeof(void*) == 8 ? u"Microsoft Windows NT (x64)"
                                          : u"Microsoft Windows NT (x86)");
#else
  struct utsname name {};
  if (::uname(&name) != 0) return Value::string(u"POSIX");
  return Value::string(platform::fromUtf8(std::string(name.sysname) + " " + name.release + " (" +
                                          name.machine + ")"));
#endif
}

// Integers outside their range, a real for an integer, a number for a
// string: the hosts reject each the same way.
constexpr int32_t kShortLow = -32768, kShortHigh = 32767;

const Variable kVariables[] = {
    {u"AUNITS", Kind::kInt, 0, 4, 0},
    {u"AUPREC", Kind::kInt, 0, 8, 0},
    {u"CDATE", Kind::kReal, 0, 0, 0, calendarDate},
    {u"CMDECHO", Kind::kInt, 0, 1, 1},
    {u"DATE", Kind::kReal, 0, 0, 0, julianDate},
    {u"DIMZIN", Kind::kInt, 0, 15, 0},
    {u"DWGNAME", Kind::kString, 0, 0, 0, drawingName},
    {u"DWGPREFIX", Kind::kString, 0, 0, 0, drawingPrefix},
    {u"ERRNO", Kind::kInt, kShortLow, kShortHigh, 0},
    {u"EXTNAMES", Kind::kInt, 0, 1, 1},
    {u"LUNITS", Kind::kInt, 1, 5, 2},
    {u"LUPREC", Kind::kInt, 0, 8, 4},
    {u"MILLISECS", Kind::kInt, 0, 0, 0, milliseconds},
    {u"OSMODE", Kind::kInt, 0, 32767, 4133},
    {u"PLATFORM", Kind::kString, 0, 0, 0, platformName},
    {u"SYSCODEPAGE", Kind::kString, 0, 0, 0, systemCodePage},
    {u"TEMPPREFIX", Kind::kString, 0, 0, 0, temporaryPrefix},
    {u"USERI1", Kind::kInt, kShortLow, kShortHigh},
    {u"USERI2", Kind::kInt, kShortLow, kShortHigh},
    {u"USERI3", Kind::kInt, kShortLow, kShortHigh},
    {u"USERI4", Kind::kInt, kShortLow, kShortHigh},
    {u"USERI5", Kind::kInt, kShortLow, kShortHigh},
    {u"USERR1", Kind::kReal},
    {u"USERR2", Kind::kReal},
    {u"USERR3", Kind::kReal},
    {u"USERR4", Kind::kReal},
    {u"USERR5", Kind::kReal},
    {u"USERS1", Kind::kString},
    {u"USERS2", Kind::kString},
    {u"USERS3", Kind::kString},
    {u"USERS4", Kind::kString},
    {u"USERS5", Kind::kString},
};

const Variable* findVariable(const std::u16string& upper) {
  // rtos and its kin read a variable or two at every call.
  static const auto* const byName = [] {
    auto* map = new std::unordered_map<std::u16string_view, const Variable*>;
    for (const Variable& v : kVariables) map->emplace(v.name, &v);
    return map;
  }();
  auto it = byName->find(upper);
  return it == byName->end() ? nullptr : it->second;
}

Value defaultValue(const Variable& v) {
  switch (v.kind) {
    case Kind::kInt:
      return Value::integer(v.integer);
    case Kind::kReal:
      return Value::real(0);
    case Kind::kString:
      return Value::string(u"");
  }
  return Value();
}

Value currentValue(Interpreter& lisp, const Variable& v) {
  if (v.read) return v.read();
  const auto& set = lisp.document().variables;
  auto it = set.find(v.name);
  return it == set.end() ? defaultValue(v) : it->second;
}

// (getvar NAME): the variable's value, nil for a name the run does not know.
Value getvar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const Variable* v = findVariable(platform::toUpperWide(text(lisp, args[0])));
  return v ? currentValue(lisp, *v) : Value();
}

// (setvar NAME VALUE): VALUE, once set; an unknown or read-only variable,
// or a value of the wrong type or out of range, is refused.
Value setvar(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const Variable* v = findVariable(platform::toUpperWide(text(lisp, args[0])));
  const Value& value = args[1];
  bool fits = v && !v->read;
  if (fits) {
    switch (v->kind) {
      case Kind::kInt:
        fits = value.type() == Type::kInt && value.asInt() >= v->low && value.asInt() <= v->high;
        break;
      case Kind::kReal:
        fits = isNumber(value);
        break;
      case Kind::kString:
        fits = value.type() == Type::kString;
        break;
    }
  }
  if (!fits) {
    lisp.fail("AutoCAD variable setting rejected: " + prin1String(args[0]) + " " +
              prin1String(value));
  }
  lisp.document().variables[v->name] =
      v->kind == Kind::kReal ? Value::real(number(lisp, value)) : value;
  return value;
}

}  // namespace

int32_t integerVariable(Interpreter& lisp, std::u16string_view name) {
  const Variable* v = findVariable(std::u16string(name));
  if (!v || v->kind != Kind::kInt) return 0;
  const Value value = currentValue(lisp, *v);
  return value.type() == Type::kInt ? value.asInt() : 0;
}

std::span<const Subr> variableFunctions() {
  static const Subr table[] = {
      {"GETVAR", getvar},
      {"SETVAR", setvar},
  };
  return table;
}

}  // namespace lisp
