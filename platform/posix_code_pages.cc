// Code pages and case mapping on POSIX: Windows' own tables for case
// mapping and for the code pages it has tables of (950, 936 and the
// single-byte ones), iconv for the others (UTF-8, 932, 949, ...).
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

#include "platform/case_map.h"
#include "platform/code_page_table.h"
#include "platform/text.h"

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the native char16_t order");

namespace platform {
namespace {

std::string iconvName(int codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 10029:
      return "MAC-CENTRALEUROPE";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// Conversion descriptors, opened once per code page and direction.
struct ConverterCache {
  std::map<std::pair<int, bool>, iconv_t> open;
  ~ConverterCache() {
    for (auto& entry : open) ::iconv_close(entry.second);
  }
};

iconv_t converter(int codePage, bool toUnicode) {
  static thread_local ConverterCache cache;
  auto key = std::make_pair(codePage, toUnicode);
  auto it = cache.open.find(key);
  if (it != cache.open.end()) return it->second;
  std::string name = iconvName(codePage);
  iconv_t cd =
      toUnicode ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // An unknown code page falls back to Windows Latin 1.
    cd = toUnicode ? iconv_open("UTF-16LE", "CP1252") : iconv_open("CP1252", "UTF-16LE");
  }
  cache.open[key] = cd;
  return cd;
}

// The number ANSI_CODEPAGE holds: 0 when unset or empty, -1 when it is not a
// code page number.
int requestedCodePage() {
  const char* value = std::getenv("ANSI_CODEPAGE");
  if (!value || !*value) return 0;
  char* end = nullptr;
  long cp = std::strtol(value, &end, 10);
  if (*end != '\0' || cp <= 0 || cp > 65535) return -1;
  return static_cast<int>(cp);
}

// The locale that decides the character type, as setlocale(LC_CTYPE, "")
// takes it: LC_ALL, else LC_CTYPE, else LANG, the first set and not empty.
std::string characterLocale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return "C";
}

// The Windows ANSI code page of a locale ("zh_TW.UTF-8", "sr_RS@latin"), as
// Windows gives it to the language and country, and Wine to the same
// locale: Big5 for traditional Chinese, GBK for simplified, the Cyrillic,
// Central European, Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese and
// Thai pages to their languages, Windows Latin 1 to any other. The C and
// POSIX locales, which say nothing of a language, take 950.
int localeCodePage(std::string_view locale) {
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
  std::string_view country;
  if (const size_t underscore = locale.find('_'); underscore != locale.npos) {
    country = locale.substr(underscore + 1);
    country = country.substr(0, country.find_first_of(".@"));
  }
  const size_t at = locale.find('@');
  const std::string_view modifier = at == locale.npos ? "" : locale.substr(at + 1);
  if (language.empty() || language == "C" || language == "POSIX") return 950;
  if (language == "zh") {
    return country == "TW" || country == "HK" || country == "MO" ? 950 : 936;
  }
  if (language == "sr") return modifier == "latin" ? 1250 : 1251;
  if (language == "uz") return modifier == "cyrillic" ? 1251 : 1254;
  struct Family {
    int codePage;
    std::initializer_list<std::string_view> languages;
  };
  static const Family kFamilies[] = {
      {932, {"ja"}},
      {949, {"ko"}},
      {1250, {"cs", "hu", "pl", "ro", "sk", "sl", "hr", "bs", "sq"}},
      {1251, {"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn", "tg", "ba"}},
      {1253, {"el"}},
      {1254, {"tr", "az"}},
      {1255, {"he", "iw", "yi"}},
      {1256, {"ar", "fa", "ur", "ps"}},
      {1257, {"et", "lv", "lt"}},
      {1258, {"vi"}},
      {874, {"th"}},
  };
  for (const Family& family : kFamilies) {
    for (std::string_view name : family.languages) {
      if (name == language) return family.codePage;
    }
  }
  return 1252;
}

// UTF-16 to `codePage`. Strict: false at the first character without a
// mapping; otherwise such a character becomes '?'.
bool convertToCodePage(int codePage, std::u16string_view text, bool strict, std::string* result) {
  std::string& out = *result;
  out.clear();
  if (text.empty()) return true;
  iconv_t cd = converter(codePage, false);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(text.size() * 4 + 16);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inLeft = text.size() * 2;
  char* dst = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft < 2) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
      if (errno == E2BIG) continue;
    }
    if (strict) return false;
    // No mapping (or a surrogate: each half of a pair is one character
    // here, as on Windows): the default character.
    *dst++ = '?';
    --outLeft;
    in += 2;
    inLeft -= std::min<size_t>(2, inLeft);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state (none of the supported code pages has one).
  ::iconv(cd, nullptr, nullptr, &dst, &outLeft);
  out.resize(static_cast<size_t>(dst - out.data()));
  return true;
}

}  // namespace

bool codePageAvailable(int codePage) {
  if (codePage <= 0 || codePage > 65535) return false;
  if (CodePageTable::find(codePage)) return true;
  iconv_t cd = ::iconv_open("UTF-16LE", iconvName(codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

int unavailableCodePageRequested() {
  const int requested = requestedCodePage();
  if (requested == 0) return 0;
  if (requested < 0 || !codePageAvailable(requested)) return requested;
  return 0;
}

int ansiCodePage() {
  // The answer for one value of the variable is kept: it is asked for every
  // conversion.
  static thread_local std::string seen;
  static thread_local int answer = 0;
  const char* value = std::getenv("ANSI_CODEPAGE");
  // Unset, the variable leaves the answer to the locale.
  std::string now = value ? value : "";
  if (now.empty()) now += '\0' + characterLocale();
  if (answer == 0 || now != seen) {
    seen = now;
    const int requested = requestedCodePage();
    if (requested > 0) {
      answer = codePageAvailable(requested) ? requested : 950;
    } else {
      const int fromLocale = requested == 0 ? localeCodePage(characterLocale()) : 950;
      answer = codePageAvailable(fromLocale) ? fromLocale : 950;
    }
  }
  return answer;
}

std::string toCodePage(int codePage, std::u16string_view text) {
  if (const CodePageTable* page = CodePageTable::find(codePage)) {
    return page->encode(text);
  }
  std::string out;
  convertToCodePage(codePage, text, false, &out);
  return out;
}

bool toCodePageExact(int codePage, std::u16string_view text, std::string* out) {
  if (const CodePageTable* page = CodePageTable::find(codePage)) {
    return page->encodeExact(text, out);
  }
  // A mapping must also lead back to the same character: some tables map
  // several characters to one.
  return convertToCodePage(codePage, text, true, out) && fromCodePage(codePage, *out) == text;
}

namespace {

// Decodes `text`; a byte sequence that is no character becomes the code
// page's substitute, and clears *exact.
std::u16string decode(int codePage, std::string_view text, bool* exact) {
  std::u16string out;
  if (text.empty()) return out;
  const char16_t substitute = codePage == 65001 ? u'\uFFFD' : u'?';
  iconv_t cd = converter(codePage, true);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(text.size() + 8);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = reinterpret_cast<char*>(out.data());
  size_t outLeft = out.size() * 2;
  while (inLeft > 0) {
    if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft < 2) {
      size_t used = static_cast<size_t>(dst - reinterpret_cast<char*>(out.data()));
      out.resize(out.size() * 2);
      dst = reinterpret_cast<char*>(out.data()) + used;
      outLeft = out.size() * 2 - used;
      if (errno == E2BIG) continue;
    }
    // A byte that begins no character: the substitute, then the next byte.
    *exact = false;
    std::memcpy(dst, &substitute, 2);
    dst += 2;
    outLeft -= 2;
    ++in;
    --inLeft;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(static_cast<size_t>(dst - reinterpret_cast<char*>(out.data())) / 2);
  return out;
}

}  // namespace

std::u16string fromCodePage(int codePage, std::string_view text) {
  bool exact = true;
  if (const CodePageTable* page = CodePageTable::find(codePage)) {
    return page->decode(text, &exact);
  }
  return decode(codePage, text, &exact);
}

bool fromCodePageExact(int codePage, std::string_view text, std::u16string* out) {
  bool exact = true;
  if (const CodePageTable* page = CodePageTable::find(codePage)) {
    *out = page->decode(text, &exact);
    return exact;
  }
  *out = decode(codePage, text, &exact);
  return exact;
}
std::u16string toLowerWide(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = windowsLower(c);
  return out;
}

std::u16string toUpperWide(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = windowsUpper(c);
  return out;
}

}  // namespace platform
