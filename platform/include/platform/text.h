// Text services: the system ANSI code page, UTF-8, case mapping, and the
// character structure of ANSI text.
//
// "ANSI" text is 8-bit text in the system ANSI code page: GetACP() on
// Windows; on POSIX the number in the environment variable ANSI_CODEPAGE,
// or when it is unset the one Windows gives the locale's language (LC_ALL,
// LC_CTYPE, LANG): 950 for zh_TW, 936 for zh_CN, 1252 for en_US, 950 in the
// C locale. Slide names, dBASE fields and keys, listing lines and
// the widths of $addbl are ANSI text; everything that crosses the host
// interface is UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The active ANSI code page number.
int ansiCodePage();
// Whether this platform can convert text in `codePage` (Windows' own tables
// or iconv have it on POSIX; on Windows only the system's own code page is
// active).
bool codePageAvailable(int codePage);
// The code page named by ANSI_CODEPAGE when it is set but names no code page
// this platform can convert (then 950 is used); 0 otherwise. Always 0 on
// Windows.
int unavailableCodePageRequested();

// UTF-16 to the ANSI code page. A character without a mapping of its own
// becomes what the platform substitutes: Windows a best-fit look-alike or
// '?', POSIX '?'.
std::string toAnsi(std::u16string_view text);
// UTF-16 to the ANSI code page, only when every character has a mapping of
// its own that converts back to it: no default character, no look-alike.
// False (with *out unspecified) otherwise.
bool toAnsiExact(std::u16string_view text, std::string* out);
// ANSI code page to UTF-16; an invalid byte sequence becomes '?' (U+FFFD
// under 65001).
std::u16string fromAnsi(std::string_view text);

// The same in a code page named by its number (one that codePageAvailable
// accepts): for files that say which code page they hold.
std::string toCodePage(int codePage, std::u16string_view text);
bool toCodePageExact(int codePage, std::u16string_view text, std::string* out);
std::u16string fromCodePage(int codePage, std::string_view text);
// Decodes text in `codePage` only when every byte sequence is a character
// there; false (with *out unspecified) otherwise.
bool fromCodePageExact(int codePage, std::string_view text, std::u16string* out);

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);
// How many bytes from the start of `text` are ASCII (below 0x80).
size_t asciiLength(std::string_view text);
// How many bytes from the start of `text` are whole, valid UTF-8 sequences
// (no overlong forms, surrogates or values past U+10FFFF): text.size() when
// all of it is.
size_t validUtf8Length(std::string_view text);
inline bool isValidUtf8(std::string_view text) {
  return validUtf8Length(text) == text.size();
}

// Simple (one-to-one) Unicode case mapping of every UTF-16 code unit.
std::u16string toLowerWide(std::u16string_view text);
std::u16string toUpperWide(std::u16string_view text);

// True when `byte` starts a two-byte character in the double-byte code page
// `codePage` (932, 936, 949, 950); false for every other code page.
bool isDoubleByteLead(int codePage, unsigned char byte);

// How the bytes of ANSI text group into characters in one code page: a lead
// byte and its trail byte in the double-byte code pages, a whole UTF-8
// sequence under 65001, a single byte elsewhere.
class AnsiCharacters {
 public:
  AnsiCharacters();  // the code page in force
  explicit AnsiCharacters(int codePage);

  // The number of bytes of the character that starts at text[at] (at least
  // 1, never past the end of `text`). A lead byte without its trail, or a
  // broken UTF-8 sequence, counts as one byte.
  size_t lengthAt(std::string_view text, size_t at) const;

 private:
  bool utf8_ = false;
  bool lead_[256] = {};
};

// Compares two ANSI texts ignoring the case of ASCII letters only; the bytes
// of a multi-byte character are compared exactly, never folded. Returns <0,
// 0 or >0 as strcmp does.
int compareIgnoringCase(std::string_view a, std::string_view b, const AnsiCharacters& chars);
int compareIgnoringCase(std::string_view a, std::string_view b);
// The longest prefix of `text` of at most `limit` bytes that does not end
// inside a character.
size_t clipToCharacters(std::string_view text, size_t limit, const AnsiCharacters& chars);
size_t clipToCharacters(std::string_view text, size_t limit);

}  // namespace platform
