#include "platform/case_map.h"

#include <algorithm>
#include <iterator>

namespace platform {
namespace {

struct CaseChange {
  char16_t unit;
  char16_t mapped;
};

#include "codepages/case.inc"

// The tables list each unit a mapping changes, in unit order.
template <size_t N>
char16_t lookUp(const CaseChange (&table)[N], char16_t unit) {
  const auto* found = std::lower_bound(std::begin(table), std::end(table), unit,
                                       [](const CaseChange& c, char16_t u) { return c.unit < u; });
  return found != std::end(table) && found->unit == unit ? found->mapped : unit;
}

}  // namespace

char16_t windowsUpper(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
  return lookUp(kUpper, unit);
}

char16_t windowsLower(char16_t unit) {
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
  return lookUp(kLower, unit);
}

}  // namespace platform
