#include "platform/double_byte.h"

#include <cstdint>

namespace platform {
namespace {

struct CodeChoice {
  char16_t unit;
  uint16_t code;
};

#include "codepages/cp936.inc"
#include "codepages/cp950.inc"

constexpr int kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40, kLastTrail = 0xFE;

}  // namespace

struct DoubleByteCodePage::Tables {
  const char16_t (&single)[256];
  const uint32_t (&singleValid)[8];
  const char16_t (&pair)[kLastLead - kFirstLead + 1][kLastTrail - kFirstTrail + 1];
  const CodeChoice* choices;
  size_t choiceCount;

  // The character a lead and trail byte read as; 0 when they are none.
  char16_t pairAt(unsigned char lead, unsigned char trail) const {
    if (trail < kFirstTrail || trail > kLastTrail) return 0;
    return pair[lead - kFirstLead][trail - kFirstTrail];
  }
  bool isLead(unsigned char byte) const { return byte >= kFirstLead && byte <= kLastLead; }
  bool singleIsCharacter(unsigned char byte) const {
    return (singleValid[byte / 32] >> (byte % 32)) & 1;
  }
};

DoubleByteCodePage::DoubleByteCodePage(const Tables& tables)
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
  for (int lead = kFirstLead; lead <= kLastLead; ++lead) {
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

const DoubleByteCodePage* DoubleByteCodePage::find(int codePage) {
  static const Tables kTables950{kSingle950, kSingleValid950, kPair950, kChoice950,
                                 sizeof kChoice950 / sizeof kChoice950[0]};
  static const Tables kTables936{kSingle936, kSingleValid936, kPair936, kChoice936,
                                 sizeof kChoice936 / sizeof kChoice936[0]};
  if (codePage == 950) {
    static const DoubleByteCodePage page(kTables950);
    return &page;
  }
  if (codePage == 936) {
    static const DoubleByteCodePage page(kTables936);
    return &page;
  }
  return nullptr;
}

std::string DoubleByteCodePage::encode(std::u16string_view text) const {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    const char16_t code = encoding_[unit];
    if (code >= 0x100) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  }
  return out;
}

bool DoubleByteCodePage::encodeExact(std::u16string_view text, std::string* out) const {
  for (char16_t unit : text) {
    if (!exact_[unit]) return false;
  }
  *out = encode(text);
  return true;
}

std::u16string DoubleByteCodePage::decode(std::string_view bytes, bool* exact) const {
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
