// The dBASE engines without a host or a disk: failures, crashes and damaged
// tables.
#include <filesystem>

#include "platform/coding.h"
#include "platform/mem_env.h"
#include "tests/support/dbf.h"
#include "tests/support/faulty_env.h"
#include "tests/support/test_support.h"
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

// The table as a reader sees it: the header, the descriptors and the
// records the header counts, whatever follows them.
std::string counted(const std::string& table) {
  if (table.size() < 32) return table;
  return table.substr(0, std::min<uint64_t>(countedLength(table), table.size()));
}

// True when the file holds every record its header counts.
bool whole(const std::string& table) {
  return table.size() >= 32 && table.size() >= countedLength(table);
}

TEST(DbfEngines, EveryFailingOperationLeavesATableItsHeaderDescribes) {
  const std::string original = test::makeTable(partsSpec());
  for (const char* key : {"A1", "NEWKEY"}) {
    for (int n = 1; n < 100; ++n) {
      SCOPED_TRACE(std::string(key) + " failing operation " + std::to_string(n));
      MemEnv disk;
      disk.addFile(u"t.dbf", original);
      test::FaultyEnv env(&disk);
      env.failOnce(n);
      const StoreResult result = DbfStore(env, u"t.dbf", key, "VALUE", "U");
      if (!env.injected()) break;
      const std::string after = *disk.contents(u"t.dbf");
      EXPECT_TRUE(whole(after));
      EXPECT_EQ(after.compare(0, 4, original, 0, 4), 0);
      if (result.outcome != StoreOutcome::kUpdated && result.outcome != StoreOutcome::kAppended) {
        EXPECT_EQ(result.cause.kind(), platform::ErrorKind::kInjected) << env.lastFailed();
      }
    }
  }
}

TEST(DbfEngines, ACrashAnywhereLeavesTheOldOrTheNewTable) {
  const std::string original = test::makeTable(partsSpec());
  for (const char* key : {"A1", "NEWKEY"}) {
    MemEnv clean;
    clean.addFile(u"t.dbf", original);
    ASSERT_TRUE(DbfStore(clean, u"t.dbf", key, "VALUE", "U").cause.ok());
    const std::string goal = counted(*clean.contents(u"t.dbf"));
    for (int n = 1; n < 100; ++n) {
      MemEnv disk;
      disk.addFile(u"t.dbf", original);
      test::FaultyEnv env(&disk);
      env.failFrom(n);
      DbfStore(env, u"t.dbf", key, "VALUE", "U");
      if (!env.injected()) break;
      const std::string after = counted(*disk.contents(u"t.dbf"));
      EXPECT_TRUE(after == counted(original) || after == goal)
          << key << ", crash at operation " << n << " (" << env.lastFailed() << ")";
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
      for (const char* key : {"A1", "", "NEW"}) {
        MemEnv env;
        env.addFile(u"t.dbf", cut);
        DbfLookup(env, u"t", key);
        const StoreResult stored = DbfStore(env, u"t.dbf", key, "NAME", "U");
        const std::string after = *env.contents(u"t.dbf");
        if (stored.outcome == StoreOutcome::kUpdated || stored.outcome == StoreOutcome::kAppended) {
          EXPECT_TRUE(whole(after));
        } else {
          EXPECT_TRUE(after == cut) << static_cast<int>(stored.outcome);
        }
      }
    }
  }
  EXPECT_GE(tables, 2);
}

}  // namespace
