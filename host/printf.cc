// printf over UTF-16 formats, for zcutPrintf.
#include <cstdio>
#include <string>

#include "host/host.h"

namespace zc {
namespace {

void appendAscii(std::u16string* out, const char* text) {
  for (; *text; ++text) out->push_back(static_cast<unsigned char>(*text));
}

void pad(std::u16string* out, std::u16string_view body, int width, bool left, char16_t fill) {
  const int padding =
      width > static_cast<int>(body.size()) ? width - static_cast<int>(body.size()) : 0;
  if (!left) out->append(static_cast<size_t>(padding), fill);
  out->append(body);
  if (left) out->append(static_cast<size_t>(padding), u' ');
}

}  // namespace

std::u16string formatPrintf(const char16_t* format, va_list args) {
  std::u16string out;
  if (!format) return out;
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t* start = p++;
    std::string spec = "%";
    bool left = false, zero = false;
    for (; *p == u'-' || *p == u'0' || *p == u'+' || *p == u' ' || *p == u'#'; ++p) {
      if (*p == u'-') left = true;
      if (*p == u'0') zero = true;
      spec.push_back(static_cast<char>(*p));
    }
    int width = -1;
    if (*p == u'*') {
      width = va_arg(args, int);
      if (width < 0) {
        left = true;
        width = -width;
        spec.push_back('-');
      }
      ++p;
    } else if (*p >= u'0' && *p <= u'9') {
      width = 0;
      for (; *p >= u'0' && *p <= u'9'; ++p) width = width * 10 + (*p - u'0');
    }
    if (width >= 0) spec += std::to_string(width);
    int precision = -1;
    if (*p == u'.') {
      ++p;
      precision = 0;
      if (*p == u'*') {
        precision = va_arg(args, int);
        ++p;
      } else {
        for (; *p >= u'0' && *p <= u'9'; ++p) precision = precision * 10 + (*p - u'0');
      }
      if (precision >= 0) spec += "." + std::to_string(precision);
    }
    int longs = 0;
    bool shortArg = false;
    for (; *p == u'h' || *p == u'l'; ++p) {
      if (*p == u'h') shortArg = true;
      if (*p == u'l') ++longs;
    }
    char buffer[512];
    switch (*p) {
      case u'd':
      case u'i': {
        long long v = longs >= 2   ? va_arg(args, long long)
                      : longs == 1 ? va_arg(args, long)
                                   : va_arg(args, int);
        if (shortArg) v = static_cast<short>(v);
        std::snprintf(buffer, sizeof buffer, (spec + "lld").c_str(), v);
        appendAscii(&out, buffer);
        break;
      }
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        unsigned long long v = longs >= 2   ? va_arg(args, unsigned long long)
                               : longs == 1 ? va_arg(args, unsigned long)
                                            : va_arg(args, unsigned);
        if (shortArg) v = static_cast<unsigned short>(v);
        std::snprintf(buffer, sizeof buffer, (spec + "ll" + static_cast<char>(*p)).c_str(), v);
        appendAscii(&out, buffer);
        break;
      }
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G': {
        double v = va_arg(args, double);
        int n = std::snprintf(nullptr, 0, (spec + static_cast<char>(*p)).c_str(), v);
        std::string text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
        std::snprintf(text.data(), text.size(), (spec + static_cast<char>(*p)).c_str(), v);
        appendAscii(&out, text.c_str());
        break;
      }
      case u'c': {
        char16_t c = static_cast<char16_t>(va_arg(args, int));
        pad(&out, std::u16string_view(&c, 1), width, left, zero && !left ? u'0' : u' ');
        break;
      }
      case u's': {
        const char16_t* s = va_arg(args, const char16_t*);
        std::u16string_view text = s ? std::u16string_view(s) : std::u16string_view(u"(null)");
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) {
          text = text.substr(0, static_cast<size_t>(precision));
        }
        pad(&out, text, width, left, u' ');
        break;
      }
      case u'%':
        out.push_back(u'%');
        break;
      default:  // not a conversion: print it as written
        out.append(start, static_cast<size_t>(p - start) + (*p ? 1 : 0));
        if (!*p) return out;
        break;
    }
  }
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
