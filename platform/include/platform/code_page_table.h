// Windows' own conversion for the double-byte code pages 950 (Big5) and
// 936 (GBK) and for the single-byte code pages (1250-1258, 874, the DOS and
// Macintosh ones), from tables read off Windows (codepages/make_tables.sh),
// so that text converts to the same bytes on every platform: the
// box-drawing characters with two Big5 codes, the best-fit look-alikes, the
// user-defined areas, invalid trail bytes, the byte 0xFF, and the bytes
// Windows reads as C1 controls (0x81, 0x8D, 0x8F, 0x90, 0x9D of 1252) all
// as Windows has them.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class CodePageTable {
 public:
  // The tables for `codePage`, or nullptr when there are none.
  static const CodePageTable* find(int codePage);

  // UTF-16 to bytes as WideCharToMultiByte(cp, 0, ...) does: a character
  // without a code of its own becomes its look-alike or '?', each half of
  // a surrogate pair a '?'.
  std::string encode(std::u16string_view text) const;
  // The same only when every character has a code of its own (no
  // look-alike, no default character), as with WC_NO_BEST_FIT_CHARS.
  bool encodeExact(std::u16string_view text, std::string* out) const;
  // Bytes to UTF-16 as MultiByteToWideChar(cp, 0, ...) does. *exact is
  // cleared when a byte sequence is no character (MB_ERR_INVALID_CHARS
  // would fail).
  std::u16string decode(std::string_view bytes, bool* exact) const;

 private:
  struct Tables;
  explicit CodePageTable(const Tables& tables);

  const Tables& tables_;
  // The code for each UTF-16 unit, one byte (< 0x100) or two; and whether
  // that code reads back as the unit and is a character.
  std::u16string encoding_;
  std::string exact_;
};

}  // namespace platform
