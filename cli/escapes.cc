#include "cli/escapes.h"

#include <cstdint>
#include <cstdio>

namespace cli {
namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The character at text[*at], moving *at past it; kNoCharacter (moving
// one byte) where the bytes are no UTF-8: overlong forms, surrogates and
// values past U+10FFFF included.
char32_t nextCharacter(std::string_view text, size_t* at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*at);
  size_t length = 0;
  char32_t c = 0, least = 0;
  if (lead < 0x80) {
    ++*at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  }
  if (length == 0 || text.size() - *at < length) {
    ++*at;
    return kNoCharacter;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(*at + i) & 0xC0) != 0x80) {
      ++*at;
      return kNoCharacter;
    }
    c = c << 6 | (byte(*at + i) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*at;
    return kNoCharacter;
  }
  *at += length;
  return c;
}

bool isControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isBidiControl(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string terminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    const char32_t c = nextCharacter(text, &at);
    if (c == kNoCharacter) {
      out += escaped("\\x%02x", static_cast<unsigned char>(text[start]));
    } else if (c < 0x20 || c == 0x7F) {
      out += escaped("\\x%02x", static_cast<unsigned>(c));
    } else if (isControl(c) || isBidiControl(c)) {
      out += escaped("\\u%04x", static_cast<unsigned>(c));
    } else {
      out.append(text, start, at - start);
    }
  }
  return out;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    const char32_t c = nextCharacter(text, &at);
    if (c == kNoCharacter) {
      out += kReplacement;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (isControl(c) || isBidiControl(c)) {
      out += escaped("\\u%04x", static_cast<unsigned>(c));
    } else {
      out.append(text, start, at - start);
    }
  }
  return out + "\"";
}

std::string xmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    const char32_t c = nextCharacter(text, &at);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (c == kNoCharacter || (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE ||
            c == 0xFFFF) {
          out += kReplacement;
        } else {
          out.append(text, start, at - start);
        }
    }
  }
  return out;
}

}  // namespace cli
