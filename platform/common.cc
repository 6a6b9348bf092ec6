// Platform services that are the same on every platform.
#include <algorithm>

#include "platform/platform.h"

namespace platform {
namespace {

Env* currentEnv = nullptr;

char16_t foldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}
unsigned char foldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Glob match with '*' (any run) and '?' (any one character).
bool globMatch(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || foldAscii(pattern[p]) == foldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

Env* Env::current() {
  return currentEnv ? currentEnv : defaultEnv();
}
void Env::setCurrent(Env* env) {
  currentEnv = env;
}

LeadBytes::LeadBytes() {
  for (int b = 0; b < 256; ++b) lead_[b] = isLeadByte(static_cast<unsigned char>(b));
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
  return compareIgnoringCase(a, b, LeadBytes());
}

int compareIgnoringCase(std::string_view a, std::string_view b, const LeadBytes& leads) {
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (leads.isLead(ca) && ca == cb && i + 1 < a.size() && i + 1 < b.size()) {
      // A double-byte character: both bytes compared exactly.
      if (a[i + 1] != b[i + 1]) {
        return static_cast<unsigned char>(a[i + 1]) < static_cast<unsigned char>(b[i + 1]) ? -1 : 1;
      }
      i += 2;
      continue;
    }
    const unsigned char fa = foldAscii(ca), fb = foldAscii(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t clipToCharacters(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t i = 0;
  while (i < limit) {
    const size_t width = isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  return i;
}

PathParts splitPath(std::u16string_view path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == u':') {
    parts.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  size_t lastSeparator = std::u16string_view::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (isSeparator(path[i])) lastSeparator = i;
  }
  if (lastSeparator != std::u16string_view::npos) {
    parts.dir = path.substr(0, lastSeparator + 1);
    path.remove_prefix(lastSeparator + 1);
  }
  const size_t dot = path.rfind(u'.');
  if (dot != std::u16string_view::npos) {
    parts.name = path.substr(0, dot);
    parts.ext = path.substr(dot);
  } else {
    parts.name = path;
  }
  return parts;
}

bool matchesPattern(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*" || pattern == u"*.*") return true;
  if (globMatch(pattern, name)) return true;
  // "x.*" also matches a name without an extension, and "x." matches only
  // names without one, as the Windows search does.
  const bool nameHasDot = name.find(u'.') != std::u16string_view::npos;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" && !nameHasDot) {
    return globMatch(pattern.substr(0, pattern.size() - 2), name);
  }
  if (!pattern.empty() && pattern.back() == u'.' && !nameHasDot) {
    return globMatch(pattern.substr(0, pattern.size() - 1), name);
  }
  return false;
}

bool readExactly(File& file, uint64_t offset, void* data, size_t n) {
  auto* out = static_cast<unsigned char*>(data);
  while (n > 0) {
    size_t got = 0;
    if (!file.read(offset, out, n, &got) || got == 0) return false;
    offset += got;
    out += got;
    n -= got;
  }
  return true;
}

}  // namespace platform

#include <cstdio>

namespace platform {

void writeStandardOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace platform

namespace platform {

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

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    uint32_t c = 0xFFFD;
    size_t length = 1;
    size_t need = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
    if (need == 0) {
      c = b;
    } else if (need <= 3) {
      uint32_t value = b & (0x3F >> need);
      bool valid = true;
      for (size_t k = 1; valid && k <= need; ++k) {
        if (i + k >= text.size()) {
          valid = false;
          break;
        }
        const auto t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) valid = false;
        value = (value << 6) | (t & 0x3F);
      }
      static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
      if (valid && value >= kMinimum[need] && value <= 0x10FFFF &&
          !(value >= 0xD800 && value <= 0xDFFF)) {
        c = value;
        length = need + 1;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return out;
}

}  // namespace platform
