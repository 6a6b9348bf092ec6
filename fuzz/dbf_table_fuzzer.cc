// Arbitrary bytes as a dBASE table, in memory: a lookup reads it and a store
// updates or appends to it. Nothing may crash, and a table is never changed
// beyond what the store reports: a refused table keeps every byte, an update
// rewrites one record the header counts and nothing else, and an append
// keeps every byte before its slot except the record count, writes one
// record and the end mark there, and leaves the bytes after them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/coding.h"
#include "support/mem_env.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

struct Layout {
  uint64_t count, header, record;
};

Layout layoutOf(const std::string& table) {
  return {platform::decodeFixed32(table.data() + 4), platform::decodeFixed16(table.data() + 8),
          platform::decodeFixed16(table.data() + 10)};
}

void check(bool holds) {
  if (!holds) std::abort();
}

void checkUpdate(const std::string& before, const std::string& after) {
  check(after.size() == before.size());
  const Layout l = layoutOf(before);
  size_t first = 0;
  while (first < after.size() && after[first] == before[first]) ++first;
  if (first == after.size()) return;  // the same values again
  size_t last = after.size() - 1;
  while (after[last] == before[last]) --last;
  check(first >= l.header && l.record > 0);
  const uint64_t index = (first - l.header) / l.record;
  check(index < l.count && last < l.header + (index + 1) * l.record);
}

void checkAppend(const std::string& before, const std::string& after) {
  const Layout old = layoutOf(before), now = layoutOf(after);
  check(now.header == old.header && now.record == old.record);
  check(now.count == old.count + 1 || now.count == old.count);  // a slot left by a stopped append
  const uint64_t slot = old.header + (now.count - 1) * old.record;
  const uint64_t end = slot + old.record;
  check(after.size() == std::max<uint64_t>(before.size(), end + 1));
  check(after.compare(0, 4, before, 0, 4) == 0);
  check(after.compare(8, slot - 8, before, 8, slot - 8) == 0);
  check(after[slot] == ' ' && after[end] == '\x1a');
  if (before.size() > end + 1)
    check(after.compare(end + 1, std::string::npos, before, end + 1) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  platform::MemEnv env;
  env.addFile(u"t.dbf", input);
  std::u16string key;
  for (size_t i = 0; i < size && i < data[0] % 4u; ++i)
    key += static_cast<char16_t>(input[i] & 0x7F);
  (void)findDbfRecord(env, u"t", key);
  for (const char16_t* k : {u"A1", u"ZZNEW"}) {
    const std::string before = *env.contents(u"t.dbf");
    const StoreResult stored = storeDbfRecord(env, u"t.dbf", k, u"NAME VALUE", u"U");
    const std::string after = *env.contents(u"t.dbf");
    switch (stored.outcome) {
      case StoreOutcome::kUpdated:
        checkUpdate(before, after);
        break;
      case StoreOutcome::kAppended:
        checkAppend(before, after);
        break;
      default:
        check(after == before);
    }
  }
  return 0;
}
