#include "platform/code_page_table.h"

#include <cstdint>

namespace platform {
namespace {

struct CodeChoice {
  char16_t unit;
  uint16_t code;
};

#include "codepages/cp936.inc"
#include "codepages/cp950.inc"
#include "codepages/single_byte.inc"

constexpr int kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40, kLastTrail = 0xFE;

}  // namespace

struct CodePageTable::Tables {
  const char16_t (&single)[256];
  const uint32_t (&singleValid)[8];
  // nullptr for a single-byte code page.
  const char16_t (*pair)[kLastTrail - kFirstTrail + 1];
  const CodeChoice* choices;
  size_t choiceCount;

  // The character a lead and trail byte read as; 0 when they are none.
  char16_t pairAt(unsigned char lead, unsigned char trail) const {
    if (trail < kFirstTrail || trail > kLastTrail) return 0;
    return pair[lead - kFirstLead][trail - kFirstTrail];
  }
  bool isLead(unsigned char byte) const { return pair && byte >= kFirstLead && byte <= kLastLead; }
  bool singleIsCharacter(unsigned char byte) const {
    return (singleValid[byte / 32] >> (byte % 32)) & 1;
  }
};

CodePageTable::CodePageTable(const Tables& tables)
    : tables_(tables), encoding_(65536, u'?'), exact_(65536, 0) {
  // Each unit takes the first code, in code order, that reads as it; then
  // Windows' own choices override.
  auto take = [this](char16_t unit, int code) {
    if (exact_[unit]) return;
    encoding_[unit] = static_cast<char16_t>(code);
    exact_[unit] = 1;
  };
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    if (!tables.isLead(byte) && tables.singleIsCharacter(byte)) take(tables.single[b], b);
  }
  for (int lead = kFirstLead; tables.pair && lead <= kLastLead; ++lead) {
    for (int trail = kFirstTrail; trail <= kLastTrail; ++trail) {
      const char16_t unit = tables.pair[lead - kFirstLead][trail - kFirstTrail];
      if (unit != 0) take(unit, lead << 8 | trail);
    }
  }
  for (size_t i = 0; i < tables.choiceCount; ++i) {
    const CodeChoice& choice = tables.choices[i];
    encoding_[choice.unit] = choice.code;
    // A look-alike is no code of the unit's own; one of two codes is, and
    // so is the byte 0xFF for the character it reads as, though it reads
    // as no character when decoded strictly.
    const auto high = static_cast<unsigned char>(choice.code >> 8);
    const auto low = static_cast<unsigned char>(choice.code & 0xFF);
    exact_[choice.unit] =
        (choice.code < 0x100 ? tables.single[low] : tables.pairAt(high, low)) == choice.unit;
  }
}

const CodePageTable* CodePageTable::find(int codePage) {
  // Each page's encoding table is built the first time it is asked for.
#define CODE_PAGE_TABLE(cp, pairs)                                                 \
  case cp: {                                                                       \
    static const Tables kTables{kSingle##cp, kSingleValid##cp, pairs, kChoice##cp, \
                                sizeof kChoice##cp / sizeof kChoice##cp[0]};       \
    static const CodePageTable page(kTables);                                      \
    return &page;                                                                  \
  }
#define SINGLE_BYTE_TABLE(cp) CODE_PAGE_TABLE(cp, nullptr)
  switch (codePage) {
    CODE_PAGE_TABLE(950, kPair950)
    CODE_PAGE_TABLE(936, kPair936)
    SINGLE_BYTE_CODE_PAGES(SINGLE_BYTE_TABLE)
    default:
      return nullptr;
  }
#undef SINGLE_BYTE_TABLE
#undef CODE_PAGE_TABLE
}

std::string CodePageTable::encode(std::u16string_view text) const {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    const char16_t code = encoding_[unit];
    if (code >= 0x100) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  }
  return out;
}

bool CodePageTable::encodeExact(std::u16string_view text, std::string* out) const {
  for (char16_t unit : text) {
    if (!exact_[unit]) return false;
  }
  *out = encode(text);
  return true;
}

std::u16string CodePageTable::decode(std::string_view bytes, bool* exact) const {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (!tables_.isLead(b)) {
      out += tables_.single[b];
      if (!tables_.singleIsCharacter(b)) *exact = false;
      ++i;
      continue;
    }
    // A lead byte reads with the byte after it: one character, or one '?'
    // for the two when they are none. A lead byte last, or before a NUL,
    // is a '?' alone.
    const auto trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const char16_t unit = trail ? tables_.pairAt(b, trail) : 0;
    out += unit ? unit : u'?';
    if (!unit) *exact = false;
    i += trail ? 2 : 1;
  }
  return out;
}

}  // namespace platform
