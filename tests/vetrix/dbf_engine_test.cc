// The dBASE engines without a host or a disk: failures, crashes and damaged
// tables.
#include <filesystem>

#include "platform/coding.h"
#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/mem_env.h"
#include "support/test_support.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

namespace fs = std::filesystem;
using platform::MemEnv;

test::TableSpec partsSpec() {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records = {{"AB12", "HEX BOLT", "PCS"}, {"A10", "WASHER", "BOX"}, {"A1", "NUT", "PCS"}};
  return spec;
}

// Where the records the header counts end.
uint64_t countedLength(const std::string& table) {
  return platform::decodeFixed16(table.data() + 8) +
         uint64_t{platform::decodeFixed32(table.data() + 4)} *
             platform::decodeFixed16(table.data() + 10);
}

// The table as a reader sees it: the header (its count the records seen),
// the descriptors and the records up to the count, or up to one flagged with
// the end mark, whatever follows them.
std::string readerView(const std::string& table) {
  if (table.size() < 32) return table;
  const uint64_t header = platform::decodeFixed16(table.data() + 8);
  const uint64_t length = platform::decodeFixed16(table.data() + 10);
  uint64_t count = platform::decodeFixed32(table.data() + 4);
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = header + i * length;
    if (at >= table.size() || table[at] == '\x1a') count = i;
  }
  std::string view = table.substr(0, std::min<uint64_t>(header + count * length, table.size()));
  platform::encodeFixed32(view.data() + 4, static_cast<uint32_t>(count));
  return view;
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

// A failure anywhere leaves the old table or, when only the last flush
// failed, the new one; an append that fails is undone to the byte. A crash
// anywhere leaves a table that readers see as the old or the new one, and
// that the next store completes.
TEST(DbfEngines, FailuresAndCrashesLeaveTheOldOrTheNewTable) {
  const std::string original = test::makeTable(partsSpec());
  for (const char16_t* key : {u"A1", u"NEWKEY"}) {
    MemEnv clean;
    clean.addFile(u"t.dbf", original);
    ASSERT_TRUE(stored(storeDbfRecord(clean, u"t.dbf", key, u"VALUE", u"U")));
    const std::string goal = *clean.contents(u"t.dbf");
    using test::Fault;
    for (auto [crash, fault] : {std::pair{false, Fault::kIoError},
                                {false, Fault::kNoSpace},
                                {false, Fault::kShortRead},
                                {true, Fault::kIoError}}) {
      for (int n = 1; n < 100; ++n) {
        SCOPED_TRACE(test::utf8(key) + (crash ? " crash at " : " failure of ") + std::to_string(n) +
                     " fault " + std::to_string(static_cast<int>(fault)));
        MemEnv disk;
        disk.addFile(u"t.dbf", original);
        test::FaultyEnv env(&disk);
        crash ? env.failFrom(n, fault) : env.failOnce(n, fault);
        const StoreResult result = storeDbfRecord(env, u"t.dbf", key, u"VALUE", u"U");
        if (!env.injected()) break;
        const std::string after = *disk.contents(u"t.dbf");
        if (crash) {
          EXPECT_TRUE(readerView(after) == readerView(original) ||
                      readerView(after) == readerView(goal))
              << env.lastFailed();
          EXPECT_TRUE(stored(storeDbfRecord(disk, u"t.dbf", key, u"VALUE", u"U")));
          EXPECT_TRUE(*disk.contents(u"t.dbf") == goal) << env.lastFailed();
          continue;
        }
        // Only a failing close comes after the table was written in full.
        const bool closing = env.lastFailed() == "close";
        EXPECT_TRUE(after == (stored(result) || closing ? goal : original)) << env.lastFailed();
        if (!stored(result)) {
          EXPECT_EQ(result.cause.kind(), test::FaultyEnv::kindOf(env.fault())) << env.lastFailed();
        }
      }
    }
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
        findDbfRecord(env, u"t", key);
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
