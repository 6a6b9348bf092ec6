// Arbitrary bytes as a dBASE table: a lookup reads it and a store updates or
// appends to a copy. Nothing may crash, a consistent table the store changed
// must still hold as many whole records as its header counts, and an
// inconsistent one is at most updated in place.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "host/host.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

std::string readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint64_t le(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

bool consistent(const std::string& table) {
  if (table.size() < 32) return false;
  const uint64_t count = le(table, 4, 4), header = le(table, 8, 2), record = le(table, 10, 2);
  return table.size() >= header + count * record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    zc::setEcho(false);
    char folder[] = "/tmp/dbffuzz-XXXXXX";
    if (!::mkdtemp(folder) || ::chdir(folder) != 0) std::abort();
    return true;
  }();
  (void)ready;
  if (size > 1 << 16) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::ofstream("t.dbf", std::ios::binary | std::ios::trunc) << input;
  std::u16string name = u"t";
  std::string pname, unit;
  const std::string key = size > 0 ? input.substr(0, data[0] % 4) : "";
  DbfLookup(name, key, &pname, &unit);
  for (const char* k : {"A1", "ZZNEW"}) {
    const std::string before = readAll("t.dbf");
    DbfStore(u"t.dbf", k, "NAME VALUE", "U");
    const std::string after = readAll("t.dbf");
    if (after == before) continue;
    // A consistent table stays consistent; an inconsistent one gets no worse:
    // same header, same length.
    if (consistent(before)
            ? !consistent(after)
            : after.size() != before.size() || after.compare(0, 32, before, 0, 32) != 0) {
      std::abort();
    }
  }
  zc::clearTranscript();
  return 0;
}
