// The dBASE engines without a host or a disk: long keys and damaged tables.
#include <filesystem>

#include "platform/coding.h"
#include "support/dbf.h"
#include "support/mem_env.h"
#include "support/test_support.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

namespace fs = std::filesystem;
using platform::MemEnv;

// Where the records the header counts end.
uint64_t countedLength(const std::string& table) {
  return platform::decodeFixed16(table.data() + 8) +
         uint64_t{platform::decodeFixed32(table.data() + 4)} *
             platform::decodeFixed16(table.data() + 10);
}

// True when the file holds every record its header counts.
bool whole(const std::string& table) {
  return table.size() >= 32 && table.size() >= countedLength(table);
}

bool stored(const StoreResult& result) {
  return result.outcome == StoreOutcome::kUpdated || result.outcome == StoreOutcome::kAppended;
}

// Keys longer than one 8-byte word of the quick test: every word must
// fold letters and only letters, and a trail byte never folds.
TEST(DbfEngines, LongKeysMatchWordByWord) {
  struct Case {
    const char* key;
    std::string field;
    bool matches;
  };
  const Case cases[] = {
      {"ABCDEFGHIJK", "ABCDEFGHIJK   ", true},
      {"ABCDEFGHIJK", "abcdefghijk   ", true},
      {"abcdefghijklmnopq", "ABCDEFGHIJKLMNOPQ", true},
      {"ABCDEFGHIJK", "ABCDEFGHIJX   ", false},
      {"ABCDEFGHIJK", "ABCDEFGH JK   ", false},
      {"ABCDEFGHIJK", "ABCDEFGHIJKL  ", false},
      {"ABCDEFGHIJK", "ABCDEFGHIJ    ", false},
      {"1234567@[IJ", "1234567`{IJ   ", false},           // not letters: no folding
      {"1234567\xA4\x61Z", "1234567\xA4\x41Z  ", false},  // Big5 trail bytes a and A
      {"1234567\xA4\x61Z", "1234567\xA4\x61z  ", true},
  };
  for (const Case& c : cases) {
    const KeyMatcher matcher(c.key, false, 950);
    const std::string field = c.field + std::string(KeyMatcher::kReadAhead, '\0');
    EXPECT_EQ(matcher.mayMatchAt(field.data()) && matcher.matchesAt(field.data(), c.field.size()),
              c.matches)
        << c.key << " | " << c.field;
  }
}

TEST(DbfEngines, EveryCutOfASampleTableIsReadOrRefusedAndNeverDamaged) {
  int tables = 0;
  for (const auto& entry : fs::directory_iterator(test::testDataDir() / "dbf")) {
    if (entry.path().extension() != ".dbf") continue;
    ++tables;
    const std::string bytes = test::readPath(entry.path());
    for (size_t length = 0; length <= bytes.size(); ++length) {
      const std::string cut = bytes.substr(0, length);
      SCOPED_TRACE(entry.path().filename().string() + " cut to " + std::to_string(length));
      for (const char16_t* key : {u"A1", u"", u"NEW"}) {
        MemEnv env;
        env.addFile(u"t.dbf", cut);
        (void)findDbfRecord(env, u"t",
                            key);  // it must not crash; what it finds is beside the point
        const StoreResult result = storeDbfRecord(env, u"t.dbf", key, u"NAME", u"U");
        const std::string after = *env.contents(u"t.dbf");
        if (stored(result)) {
          EXPECT_TRUE(whole(after));
        } else {
          EXPECT_TRUE(after == cut) << static_cast<int>(result.outcome);
        }
      }
    }
  }
  EXPECT_GE(tables, 2);
}

}  // namespace
