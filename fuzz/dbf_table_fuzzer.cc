// Arbitrary bytes as a dBASE table, in memory: a lookup reads it and a store
// updates or appends to it. Nothing may crash, a consistent table the store
// changed must still hold as many whole records as its header counts, an
// inconsistent one is at most updated in place, and a refused one is never
// changed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/coding.h"
#include "platform/mem_env.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

bool consistent(const std::string& table) {
  if (table.size() < 32) return false;
  const uint64_t count = platform::decodeFixed32(table.data() + 4);
  const uint64_t header = platform::decodeFixed16(table.data() + 8);
  const uint64_t record = platform::decodeFixed16(table.data() + 10);
  return table.size() >= header + count * record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  platform::MemEnv env;
  env.addFile(u"t.dbf", input);
  const std::string key = size > 0 ? input.substr(0, data[0] % 4) : "";
  DbfLookup(env, u"t", key);
  for (const char* k : {"A1", "ZZNEW"}) {
    const std::string before = *env.contents(u"t.dbf");
    const StoreResult stored = DbfStore(env, u"t.dbf", k, "NAME VALUE", "U");
    const std::string after = *env.contents(u"t.dbf");
    const bool written =
        stored.outcome == StoreOutcome::kUpdated || stored.outcome == StoreOutcome::kAppended;
    if (!written) {
      if (after != before) std::abort();
    } else if (consistent(before)
                   ? !consistent(after)
                   : after.size() != before.size() || after.compare(0, 32, before, 0, 32) != 0) {
      // An inconsistent table is at most updated in place.
      std::abort();
    }
  }
  return 0;
}
