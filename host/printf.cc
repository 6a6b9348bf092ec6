// printf over UTF-16 formats, for zcutPrintf.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "host/host.h"

namespace zc {
namespace {

void appendAscii(std::u16string* out, const std::string& text) {
  for (char c : text) out->push_back(static_cast<unsigned char>(c));
}

void pad(std::u16string* out, std::u16string_view body, int width, bool left, char16_t fill) {
  const int padding =
      width > static_cast<int>(body.size()) ? width - static_cast<int>(body.size()) : 0;
  if (!left) out->append(static_cast<size_t>(padding), fill);
  out->append(body);
  if (left) out->append(static_cast<size_t>(padding), u' ');
}

// What stands between a '%' and its conversion letter, and the same as a C
// format ("%-08.3", with '*' values written out).
struct Conversion {
  std::string spec = "%";
  bool left = false, zero = false;
  int width = -1, precision = -1;
  int longs = 0;  // how many 'l'
  bool shortArg = false;
};

// Reads a conversion's flags, width, precision and length from `p`, just
// past the '%', taking '*' values from `args`; leaves `p` at the letter.
Conversion readConversion(const char16_t*& p, va_list& args) {
  Conversion c;
  for (; *p == u'-' || *p == u'0' || *p == u'+' || *p == u' ' || *p == u'#'; ++p) {
    if (*p == u'-') c.left = true;
    if (*p == u'0') c.zero = true;
    c.spec.push_back(static_cast<char>(*p));
  }
  if (*p == u'*') {
    c.width = va_arg(args, int);
    if (c.width < 0) {
      c.left = true;
      c.width = -c.width;
      c.spec.push_back('-');
    }
    ++p;
  } else if (*p >= u'0' && *p <= u'9') {
    c.width = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) c.width = c.width * 10 + (*p - u'0');
  }
  if (c.width >= 0) c.spec += std::to_string(c.width);
  if (*p == u'.') {
    ++p;
    c.precision = 0;
    if (*p == u'*') {
      c.precision = va_arg(args, int);
      ++p;
    } else {
      for (; *p >= u'0' && *p <= u'9'; ++p) c.precision = c.precision * 10 + (*p - u'0');
    }
    if (c.precision >= 0) c.spec += "." + std::to_string(c.precision);
  }
  for (; *p == u'h' || *p == u'l'; ++p) {
    if (*p == u'h') c.shortArg = true;
    if (*p == u'l') ++c.longs;
  }
  return c;
}

// A number formatted by the C library, however wide.
template <typename T>
std::string formatNumber(const std::string& format, T value) {
  const int n = std::snprintf(nullptr, 0, format.c_str(), value);
  std::string text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
  std::snprintf(text.data(), text.size(), format.c_str(), value);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

// Appends the value of one conversion; false for a letter that is none.
bool appendConversion(std::u16string* out, const Conversion& c, char16_t letter, va_list& args) {
  switch (letter) {
    case u'd':
    case u'i': {
      long long v = c.longs >= 2   ? va_arg(args, long long)
                    : c.longs == 1 ? va_arg(args, long)
                                   : va_arg(args, int);
      if (c.shortArg) v = static_cast<short>(v);
      appendAscii(out, formatNumber(c.spec + "lld", v));
      return true;
    }
    case u'u':
    case u'x':
    case u'X':
    case u'o': {
      unsigned long long v = c.longs >= 2   ? va_arg(args, unsigned long long)
                             : c.longs == 1 ? va_arg(args, unsigned long)
                                            : va_arg(args, unsigned);
      if (c.shortArg) v = static_cast<unsigned short>(v);
      appendAscii(out, formatNumber(c.spec + "ll" + static_cast<char>(letter), v));
      return true;
    }
    case u'f':
    case u'F':
    case u'e':
    case u'E':
    case u'g':
    case u'G':
      appendAscii(out, formatNumber(c.spec + static_cast<char>(letter), va_arg(args, double)));
      return true;
    case u'c': {
      const auto ch = static_cast<char16_t>(va_arg(args, int));
      pad(out, std::u16string_view(&ch, 1), c.width, c.left, c.zero && !c.left ? u'0' : u' ');
      return true;
    }
    case u's': {
      const char16_t* s = va_arg(args, const char16_t*);
      std::u16string_view text = s ? std::u16string_view(s) : std::u16string_view(u"(null)");
      if (c.precision >= 0 && static_cast<size_t>(c.precision) < text.size()) {
        text = text.substr(0, static_cast<size_t>(c.precision));
      }
      pad(out, text, c.width, c.left, u' ');
      return true;
    }
    case u'%':
      out->push_back(u'%');
      return true;
    default:
      return false;
  }
}

}  // namespace

std::u16string formatPrintf(const char16_t* format, va_list given) {
  std::u16string out;
  if (!format) return out;
  // A copy the steps can take values from in turn (a va_list parameter is
  // a pointer on some targets, no object to refer to).
  va_list args;
  va_copy(args, given);
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t* start = p++;
    const Conversion conversion = readConversion(p, args);
    if (!appendConversion(&out, conversion, *p, args)) {
      // Not a conversion: printed as written.
      out.append(start, static_cast<size_t>(p - start) + (*p ? 1 : 0));
      if (!*p) break;
    }
  }
  va_end(args);
  return out;
}

std::u16string formatString(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = formatPrintf(format, args);
  va_end(args);
  return text;
}

}  // namespace zc
