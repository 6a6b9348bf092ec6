// Letter case of ASCII letters only, as the C locale sees it. Names stored
// in the ANSI code page (slide names, dBASE field names and keys) fold only
// these 26 letters: folding any other byte could change a trail byte of a
// double-byte character, or make two different names equal.
#pragma once

#include <string_view>

namespace platform {

template <typename Char>
constexpr Char asciiLower(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <typename Char>
constexpr Char asciiUpper(Char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

template <typename Char>
constexpr bool startsWithIgnoringAsciiCase(std::basic_string_view<Char> text,
                                           std::basic_string_view<Char> prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (asciiLower(text[i]) != asciiLower(prefix[i])) return false;
  }
  return true;
}

template <typename Char>
constexpr bool equalsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                       std::basic_string_view<Char> b) {
  return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return equalsIgnoringAsciiCase<char>(a, b);
}
inline bool startsWithIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return startsWithIgnoringAsciiCase<char>(a, b);
}
inline bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return equalsIgnoringAsciiCase<char16_t>(a, b);
}

}  // namespace platform
