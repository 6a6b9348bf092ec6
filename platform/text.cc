// Text services that are the same on every platform.
#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/ascii.h"

namespace platform {

bool isDoubleByteLead(int codePage, unsigned char byte) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

AnsiCharacters::AnsiCharacters() : AnsiCharacters(ansiCodePage()) {}

AnsiCharacters::AnsiCharacters(int codePage) : utf8_(codePage == 65001) {
  for (int b = 0; b < 256; ++b)
    lead_[b] = isDoubleByteLead(codePage, static_cast<unsigned char>(b));
}

size_t AnsiCharacters::lengthAt(std::string_view text, size_t at) const {
  const auto b = static_cast<unsigned char>(text[at]);
  const size_t left = text.size() - at;
  if (!utf8_) return lead_[b] && left >= 2 ? 2 : 1;
  // A UTF-8 sequence: its lead byte tells its length, and every byte after
  // the lead must be a continuation byte.
  const size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
  if (length == 1 || b > 0xF4 || left < length) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

int compareIgnoringCase(std::string_view a, std::string_view b, const AnsiCharacters& chars) {
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    const size_t la = chars.lengthAt(a, i), lb = chars.lengthAt(b, i);
    if (la > 1 || lb > 1) {
      // Multi-byte characters: every byte compared exactly.
      const std::string_view ca = a.substr(i, la), cb = b.substr(i, lb);
      if (ca != cb) return ca < cb ? -1 : 1;
      i += la;
      continue;
    }
    const auto fa = asciiLower(static_cast<unsigned char>(a[i]));
    const auto fb = asciiLower(static_cast<unsigned char>(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
  return compareIgnoringCase(a, b, AnsiCharacters());
}

size_t clipToCharacters(std::string_view text, size_t limit, const AnsiCharacters& chars) {
  if (text.size() <= limit) return text.size();
  size_t i = 0;
  while (i < limit) {
    const size_t length = chars.lengthAt(text, i);
    if (i + length > limit) break;
    i += length;
  }
  return i;
}

size_t clipToCharacters(std::string_view text, size_t limit) {
  return clipToCharacters(text, limit, AnsiCharacters());
}

std::string toAnsi(std::u16string_view text) {
  return toCodePage(ansiCodePage(), text);
}

bool toAnsiExact(std::u16string_view text, std::string* out) {
  return toCodePageExact(ansiCodePage(), text, out);
}

std::u16string fromAnsi(std::string_view text) {
  return fromCodePage(ansiCodePage(), text);
}

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

size_t validUtf8Length(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const size_t length = b >= 0xF0 && b <= 0xF4  ? 4
                          : b >= 0xE0 && b < 0xF0 ? 3
                          : b >= 0xC2 && b < 0xE0 ? 2
                                                  : 0;
    if (length == 0 || i + length > text.size()) return i;
    uint32_t value = b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return i;
      value = value << 6 | (c & 0x3F);
    }
    static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return i;
    }
    i += length;
  }
  return i;
}

size_t asciiLength(std::string_view text) {
  size_t i = 0;
  // Eight bytes at a time: none has its top bit.
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word & 0x8080808080808080u) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

std::u16string fromUtf8(std::string_view text) {
  // No text has more UTF-16 units than UTF-8 bytes.
  std::u16string out(text.size(), u'\0');
  char16_t* to = out.data();
  static const AnsiCharacters utf8(65001);  // made once: it fills a table
  size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII, most of most texts, are copied as they are.
    const size_t ascii = asciiLength(text.substr(i));
    for (size_t k = 0; k < ascii; ++k) to[k] = static_cast<unsigned char>(text[i + k]);
    to += ascii;
    i += ascii;
    if (i == text.size()) break;
    size_t length = utf8.lengthAt(text, i);
    const auto b = static_cast<unsigned char>(text[i]);
    uint32_t c = b < 0x80 ? b : 0xFFFD;
    if (length > 1) {
      uint32_t value = b & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) {
        value = value << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
      }
      static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
      // Overlong forms, surrogates and values past U+10FFFF are not text:
      // their lead byte reads as one invalid byte.
      if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        length = 1;
      } else {
        c = value;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      *to++ = static_cast<char16_t>(0xD800 + (c >> 10));
      *to++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *to++ = static_cast<char16_t>(c);
    }
    i += length;
  }
  out.resize(static_cast<size_t>(to - out.data()));
  return out;
}

}  // namespace platform
