// Read_Dbf and Write_Dbf on real tables.
#include <filesystem>
#include <set>

#include "platform/coding.h"
#include "platform/text.h"
#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/host_support.h"
#include "support/mem_env.h"
#include "support/process.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/handler_env.h"

namespace {

namespace fs = std::filesystem;
using test::I;
using test::S;
using test::TableSpec;

TableSpec partsSpec(int terminatorBytes = 1) {
  TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records = {{"AB12", "HEX BOLT", "PCS"},
                  {"A10", "WASHER", "BOX"},
                  {"*", "DEL1", "GONE", "X"},
                  {"A1", "NUT", "PCS"}};
  spec.terminatorBytes = terminatorBytes;
  return spec;
}

class DbfTest : public test::ModuleTest {
 protected:
  static test::HandlerResult read(const std::vector<zc::HostValue>& args) {
    return test::callHandler(Read_Dbf, args);
  }
  static test::HandlerResult write(const std::vector<zc::HostValue>& args) {
    return test::callHandler(Write_Dbf, args);
  }
  static std::u16string lookup(const std::u16string& table, const std::u16string& key) {
    zc::CallResult r = test::call(u"Read_Dbf", {S(table), S(key)});
    return r.kind == zc::CallResult::Kind::kString ? r.text : u"<none>";
  }
};

// A record matches when its key, without the blanks that pad it, is the
// key; ASCII letters in either case. Deleted records are never found.
TEST_F(DbfTest, ReadFindsTheLiveRecordWhoseKeyIsTheKey) {
  test::writeFile("parts.dbf", test::makeTable(partsSpec()));
  struct Case {
    std::u16string key, result;
  };
  const Case cases[] = {
      {u"AB12", u"AB12 HEX BOLT             PCS "},
      {u"ab12", u"ab12 HEX BOLT             PCS "},  // the caller's key, not the stored one
      {u"A1", u"A1 NUT                  PCS "},      // not A10, which comes first
      {u"A1  ", u"A1   NUT                  PCS "},  // padding blanks count for nothing
      {u"AB", u"<none>"},                            // no prefix matches
      {u"", u"<none>"},
      {u"  ", u"<none>"},
      {u"DEL1", u"<none>"},  // deleted
      {u"AB12X", u"<none>"},
      {u"AB123456", u"<none>"},  // longer than the key field
  };
  for (const Case& c : cases) EXPECT_EQ(lookup(u"parts", c.key), c.result) << test::utf8(c.key);
}

TEST_F(DbfTest, ReadReportsWhatItFound) {
  test::writeFile("parts.dbf", test::makeTable(partsSpec()));
  test::HandlerResult found = read({S(u"parts"), S(u"ab12"), I(9)});
  EXPECT_EQ(found.status, kRtNormal);
  EXPECT_EQ(found.printed, u"\nFound Data->[ab12]");
  test::HandlerResult missing = read({S(u"parts"), S(u"QQ")});
  EXPECT_EQ(missing.status, kRtError);
  EXPECT_EQ(missing.printed, u"\nNot Found Data->[QQ]");
  test::HandlerResult noTable = read({S(u"NoSuch"), S(u"QQ")});
  EXPECT_EQ(noTable.status, kRtError);
  EXPECT_EQ(noTable.printed, u"\nOpen DBF NAME Fail->[nosuch.dbf]\nNot Found Data->[QQ]");
  for (const auto& args : std::vector<std::vector<zc::HostValue>>{
           {}, {S(u"parts")}, {I(1), S(u"AB")}, {S(u"parts"), I(1)}}) {
    test::HandlerResult r = read(args);
    EXPECT_EQ(r.status, kRtError);
    EXPECT_EQ(r.printed, u"");
  }
}

TEST_F(DbfTest, ReadLowerCasesTheNameAndAddsTheExtensionOnlyWhenMissing) {
  test::writeFile("Parts.DBF", test::makeTable(partsSpec()));  // found ignoring case
  for (const char16_t* name : {u"parts", u"PARTS", u"Parts.DBF"}) {
    EXPECT_EQ(lookup(name, u"AB12"), u"AB12 HEX BOLT             PCS ") << test::utf8(name);
  }
  test::writeFile("x.dbf.bak", test::makeTable(partsSpec()));
  EXPECT_EQ(lookup(u"X.DBF.BAK", u"A10"), u"A10 WASHER               BOX ");
}

TEST_F(DbfTest, ReadRolesFollowTheDescriptorNames) {
  TableSpec spec;
  spec.fields = {{"no1x", 4}, {"PNAME", 3}, {"PNAME2", 5}, {"UNITS", 2}, {"unit", 3}};
  spec.records = {{"K1", "aaa", "bbbbb", "uu", "ccc"}};
  test::writeFile("roles.dbf", test::makeTable(spec));
  EXPECT_EQ(lookup(u"roles", u"K1"), u"K1 bbbbb ccc");
  spec.fields = {{"NO1", 4}, {"UNIT", 3}};
  spec.records = {{"K1", "pcs"}};
  test::writeFile("noname.dbf", test::makeTable(spec));
  EXPECT_EQ(lookup(u"noname", u"K1"), u"K1  pcs");
}

TEST_F(DbfTest, ReadHandlesOddButReadableTables) {
  TableSpec spec = partsSpec(2);
  spec.endOfFileMark = false;
  test::writeFile("two.dbf", test::makeTable(spec));
  EXPECT_EQ(lookup(u"two", u"A10"), u"A10 WASHER               BOX ");
  EXPECT_EQ(lookup(u"two", u"A1"), u"A1 NUT                  PCS ");  // the last, no end mark

  std::string noFields = test::makeTable(partsSpec());
  noFields[8] = 33;  // header length below 64: no descriptors
  noFields[9] = 0;
  test::writeFile("nofields.dbf", noFields);
  EXPECT_EQ(lookup(u"nofields", u""), u"<none>");
  EXPECT_EQ(lookup(u"nofields", u"A"), u"<none>");
}

TEST_F(DbfTest, BadTablesNeverCrashAndNeverChange) {
  const std::string good = test::makeTable(partsSpec());
  auto with = [&](size_t at, std::string bytes) {
    std::string bad = good;
    bad.replace(at, bytes.size(), bytes);
    return bad;
  };
  const std::u16string notADbf = u"\nNOT A DBF FILE: bad.dbf";
  const std::u16string fewer = u"\nDBF FILE HOLDS FEWER RECORDS THAN IT COUNTS: bad.dbf";
  const std::vector<std::pair<std::string, std::u16string>> bad = {
      {good.substr(0, 20), notADbf},                   // shorter than a header
      {with(8, std::string("\xff\xff", 2)), notADbf},  // header length past the file
      {with(10, std::string("\xff\x7f", 2)), fewer},   // record length past the file
      {with(4, std::string("\x40\x00\x00\x00", 4)), fewer},
      {with(32 + 32 + 16, "\xff"), notADbf},            // a field runs past the record
      {with(8, std::string("\x21\x00", 2)), notADbf},   // no descriptors
      {with(10, std::string("\x00\x00", 2)), notADbf},  // zero record length
  };
  for (const auto& [bytes, message] : bad) {
    test::writeFile("bad.dbf", bytes);
    read({S(u"bad"), S(u"A1")});
    read({S(u"bad"), S(u"")});
    test::HandlerResult w = write({S(u"bad.dbf"), S(u"NEWKEY"), S(u"n"), S(u"u")});
    EXPECT_EQ(w.status, kRtNormal);
    EXPECT_EQ(w.printed, message);
    EXPECT_TRUE(test::readFile("bad.dbf") == bytes);
  }
  // Counting more than present, a lookup still sees the records that are there.
  test::writeFile("short.dbf", bad[3].first);
  EXPECT_EQ(lookup(u"short", u"A1"), u"A1 NUT                  PCS ");
}

TEST_F(DbfTest, WriteUpdatesOnlyNameAndUnitOfTheMatchingRecord) {
  for (int terminator : {1, 2}) {
    SCOPED_TRACE(terminator);
    TableSpec spec = partsSpec(terminator);
    test::writeFile("t.dbf", test::makeTable(spec));
    struct Case {
      std::u16string key;
      size_t record;
    };
    // ab12 is AB12 ignoring case; A1 is A1 and not A10 before it.
    for (const Case& c : {Case{u"ab12", 0}, Case{u"A1", 3}, Case{u"A10 ", 1}}) {
      const std::string before = test::readFile("t.dbf");
      EXPECT_EQ(write({S(u"t.dbf"), S(c.key), S(u"NEW NAME"), S(u"")}).status, kRtNormal);
      const std::string after = test::readFile("t.dbf");
      ASSERT_EQ(after.size(), before.size());
      test::TableView view = test::readTableStrictly(after);
      ASSERT_EQ(view.count, 4u);
      const std::string& record = view.records[c.record];
      EXPECT_EQ(test::field(spec, record, 1), "NEW NAME            ");
      EXPECT_EQ(test::field(spec, record, 2), "    ");
      EXPECT_EQ(record.substr(0, 7),
                test::readTableStrictly(before).records[c.record].substr(0, 7));
      for (size_t i = 0; i < 4; ++i) {
        if (i != c.record) {
          EXPECT_EQ(view.records[i], test::readTableStrictly(before).records[i]);
        }
      }
    }
  }
}

// A key that only a prefix of another key, or only a deleted record, holds
// is a new key: it is appended.
TEST_F(DbfTest, WriteAppendsKeysNoLiveRecordHolds) {
  const std::string before = test::makeTable(partsSpec());
  test::writeFile("t.dbf", before);
  for (const char16_t* key : {u"A", u"AB", u"DEL1"}) {
    write({S(u"t.dbf"), S(key), S(u"N"), S(u"U")});
  }
  test::TableView view = test::readTableStrictly(test::readFile("t.dbf"));
  ASSERT_EQ(view.count, 7u);
  EXPECT_EQ(test::readFile("t.dbf").substr(8, 129 + 4 * 31 - 8),
            before.substr(8, 129 + 4 * 31 - 8));
  EXPECT_EQ(view.records[4], " A     N                   U   ");
  EXPECT_EQ(view.records[6], " DEL1  N                   U   ");
  EXPECT_EQ(lookup(u"t", u"DEL1"), u"DEL1 N                    U   ");
}

TEST_F(DbfTest, WriteAppendsANewKeyWithOtherFieldsBlank) {
  TableSpec spec = partsSpec();
  spec.fields.push_back({"QTY", 5});
  spec.records[0].push_back("12");
  test::writeFile("t.dbf", test::makeTable(spec));
  const size_t before = test::readFile("t.dbf").size();
  write({S(u"t.dbf"), S(u"NEW1"), S(u"FIVE5"), S(u"KG")});
  const std::string after = test::readFile("t.dbf");
  EXPECT_EQ(after.size(), before + 36u);
  test::TableView view = test::readTableStrictly(after);
  ASSERT_EQ(view.count, 5u);
  EXPECT_EQ(view.records[4], " NEW1  FIVE5               KG       ");
  EXPECT_EQ(after.substr(1, 3), test::makeTable(spec).substr(1, 3));  // date not updated
}

TEST_F(DbfTest, WriteToATableWithoutRecordsAppendsTheFirst) {
  TableSpec spec = partsSpec();
  spec.records.clear();
  test::writeFile("empty.dbf", test::makeTable(spec));
  EXPECT_EQ(lookup(u"empty", u""), u"<none>");
  write({S(u"empty.dbf"), S(u"K"), S(u"N"), S(u"U")});
  EXPECT_EQ(lookup(u"empty", u"K"), u"K N                    U   ");
}

TEST_F(DbfTest, WriteCutsLongValuesAtTheFieldWithoutSplittingACharacter) {
  struct Case {
    const char* codePage;
    std::u16string name, unit;          // for a name field of 20 bytes, a unit field of 4
    std::u16string keptName, keptUnit;  // what fits
  };
  const std::u16string n19(19, u'n');
  const Case cases[] = {
      {"950", n19 + u"中文", u"中文字", n19, u"中文"},
      {"936", n19 + u"中文", u"中文字", n19, u"中文"},
      {"65001", n19 + u"中", u"中文", n19, u"中"},  // three bytes a character
  };
  for (const Case& c : cases) {
    test::ScopedCodePage cp(c.codePage);
    if (!cp.active()) continue;
    test::writeFile("t.dbf", test::makeTable(partsSpec()));
    write({S(u"t.dbf"), S(u"A1"), S(c.name), S(c.unit)});
    test::TableView view = test::readTableStrictly(test::readFile("t.dbf"));
    ASSERT_EQ(view.count, 4u);
    std::string name = platform::toAnsi(c.keptName), unit = platform::toAnsi(c.keptUnit);
    name.resize(20, ' ');
    unit.resize(4, ' ');
    EXPECT_EQ(test::field(partsSpec(), view.records[3], 1), name) << c.codePage;
    EXPECT_EQ(test::field(partsSpec(), view.records[3], 2), unit) << c.codePage;
    EXPECT_EQ(view.records[3].substr(0, 7), " A1    ");
  }
}

// Tables as other programs write them: a Visual FoxPro back-link or blank
// padding after the descriptors' terminator, Clipper's two-byte widths.
TEST_F(DbfTest, TablesOfOtherProgramsAreReadAndWritten) {
  struct Case {
    const char* name;
    TableSpec spec;
  };
  TableSpec foxPro = partsSpec();
  foxPro.version = 0x30;
  foxPro.afterTerminator = std::string(263, '\0');
  TableSpec padded = partsSpec();
  padded.afterTerminator = std::string(31, ' ');
  TableSpec wide = partsSpec();
  wide.fields[1].second = 300;
  const Case cases[] = {{"FoxPro", foxPro}, {"padded", padded}, {"two-byte widths", wide}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile("t.dbf", test::makeTable(c.spec));
    const std::u16string nameField(c.spec.fields[1].second - 3, u' ');
    EXPECT_EQ(lookup(u"t", u"A1 "), u"A1  NUT" + nameField + u" PCS ");
    write({S(u"t.dbf"), S(u"A1 "), S(u"BOLT"), S(u"KG")});
    write({S(u"t.dbf"), S(u"NEW"), S(u"WASHER"), S(u"BOX")});
    test::TableView view = test::readTableStrictly(test::readFile("t.dbf"));
    ASSERT_EQ(view.count, 5u);
    EXPECT_EQ(test::field(c.spec, view.records[3], 1).substr(0, 5), "BOLT ");
    EXPECT_EQ(test::field(c.spec, view.records[3], 2), "KG  ");
    EXPECT_EQ(test::field(c.spec, view.records[4], 0), "NEW   ");
    EXPECT_EQ(test::field(c.spec, view.records[4], 2), "BOX ");
  }
  // A high byte whose widths add up to the record length neither way: where
  // the fields lie is not known, and nothing is written there.
  std::string unclear = test::makeTable(partsSpec());
  unclear[32 + 32 + 17] = 1;  // the name field's high byte
  unclear[10] = 41;           // the record length
  test::writeFile("t.dbf", unclear);
  EXPECT_EQ(read({S(u"t"), S(u"A1")}).printed,
            u"\nDBF FIELD WIDTHS DISAGREE WITH THE RECORD LENGTH: t.dbf\nNot Found Data->[A1]");
  EXPECT_EQ(write({S(u"t.dbf"), S(u"A1"), S(u"N"), S(u"U")}).printed,
            u"\nDBF FIELD WIDTHS DISAGREE WITH THE RECORD LENGTH: t.dbf");
  EXPECT_TRUE(test::readFile("t.dbf") == unclear);
}

// What Write_Dbf cannot store soundly it refuses with one message, and the
// table keeps every byte; Read_Dbf reads what it can.
TEST_F(DbfTest, WriteRefusesWhatItCannotStoreSoundly) {
  auto table = [](auto change) {
    TableSpec spec = partsSpec();
    change(spec);
    return test::makeTable(spec);
  };
  auto patched = [](std::string bytes, size_t at, std::string with) {
    return bytes.replace(at, with.size(), with);
  };
  const std::string parts = test::makeTable(partsSpec());
  const std::u16string found = u"A1 NUT                  PCS ";
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::u16string> args;  // key, name, unit
    std::u16string printed;            // by Write_Dbf
    std::u16string read;               // Read_Dbf of A1
  };
  const Case cases[] = {
      {"key longer than its field",
       parts,
       {u"KEY1234", u"n", u"u"},
       u"\nKEY TOO LONG FOR DBF FILE: t.dbf",
       found},
      {"empty key", parts, {u"", u"n", u"u"}, u"\nEMPTY KEY FOR DBF FILE: t.dbf", found},
      {"blank key", parts, {u"   ", u"n", u"u"}, u"\nEMPTY KEY FOR DBF FILE: t.dbf", found},
      {"a name and no name field",
       table([](TableSpec& t) {
         t.fields = {{"NO1", 6}, {"UNIT", 4}};
       }),
       {u"A1", u"n", u""},
       u"\nNO PNAME FIELD IN DBF FILE: t.dbf",
       u"A1  NUT "},
      {"a unit and no unit field",
       table([](TableSpec& t) {
         t.fields = {{"NO1", 6}, {"PNAME", 20}};
       }),
       {u"A1", u"", u"u"},
       u"\nNO UNIT FIELD IN DBF FILE: t.dbf",
       u"A1 NUT                  "},
      {"a numeric name field",
       table([](TableSpec& t) { t.types = "CNC"; }),
       {u"A1", u"n", u"u"},
       u"\nPNAME FIELD IS NOT A CHARACTER FIELD IN DBF FILE: t.dbf",
       found},
      {"a new key in a numeric key field",
       table([](TableSpec& t) {
         t.types = "NCC";
         t.records = {{"    12", "BOLT", "PCS"}};
       }),
       {u"13", u"n", u"u"},
       u"\nKEY FIELD IS NOT A CHARACTER FIELD, NO RECORD APPENDED: t.dbf",
       u"<none>"},
      {"a field of unknown type",
       table([](TableSpec& t) {
         t.fields.push_back({"ODD", 2});
         t.types = "CCCX";
       }),
       {u"NEW", u"n", u"u"},
       u"\nUNKNOWN DBF FIELD TYPE, NO RECORD APPENDED: t.dbf",
       found},
      {"a production index",
       table([](TableSpec& t) { t.tableFlags = 0x01; }),
       {u"A1", u"n", u"u"},
       u"\nDBF FILE HAS A PRODUCTION INDEX THAT WOULD MISS THE CHANGE: t.dbf",
       found},
      {"a header length inside the descriptors",
       patched(parts, 8, std::string("\x60\x00", 2)),
       {u"A1", u"n", u"u"},
       u"\nDBF HEADER TOO SHORT FOR ITS FIELDS: t.dbf",
       u"<none>"},
      {"records the header does not count",
       table([](TableSpec& t) {
         t.records.push_back({"X1", "EXTRA", "PCS"});
         t.uncounted = 1;
       }),
       {u"NEW", u"n", u"u"},
       u"\nDBF FILE HOLDS RECORDS ITS HEADER DOES NOT COUNT: t.dbf",
       found},
      {"dBASE level 7",
       patched(parts, 0, "\x04"),
       {u"A1", u"n", u"u"},
       u"\nDBASE LEVEL 7 TABLES ARE NOT SUPPORTED: t.dbf",
       u"<none>"},
      {"a code page no platform converts",
       table([](TableSpec& t) { t.languageDriver = 0x68; }),
       {u"A1", u"n", u"u"},
       u"\nDBF CODE PAGE NOT SUPPORTED: t.dbf",
       u"<none>"},
      {"a value the table's code page lacks",
       table([](TableSpec& t) { t.languageDriver = 0x03; }),
       {u"A1", u"中", u"u"},
       u"\nVALUE NOT IN CODE PAGE 1252 OF DBF FILE t.dbf: 中",
       found},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeFile("t.dbf", c.bytes);
    test::HandlerResult w = write({S(u"t.dbf"), S(c.args[0]), S(c.args[1]), S(c.args[2])});
    EXPECT_EQ(w.status, kRtNormal);
    EXPECT_EQ(w.printed, c.printed);
    EXPECT_TRUE(test::readFile("t.dbf") == c.bytes);
    EXPECT_EQ(lookup(u"t", u"A1"), c.read);
  }
  EXPECT_EQ(read({S(u"t"), S(u"A1")}).printed, u"\nFound Data->[A1]");
  test::writeFile("t.dbf", patched(parts, 0, "\x8c"));
  EXPECT_EQ(read({S(u"t"), S(u"A1")}).printed,
            u"\nDBASE LEVEL 7 TABLES ARE NOT SUPPORTED: t.dbf\nNot Found Data->[A1]");

  test::writeFile("t.dbf", parts);
  for (const auto& args :
       std::vector<std::vector<zc::HostValue>>{{I(1), S(u"K"), S(u"n"), S(u"u")},
                                               {S(u"t.dbf")},
                                               {S(u"t.dbf"), I(1), S(u"n"), S(u"u")},
                                               {S(u"t.dbf"), S(u"K")},
                                               {S(u"t.dbf"), S(u"K"), S(u"n")},
                                               {S(u"t.dbf"), S(u"K"), test::R(1.0), S(u"u")},
                                               {S(u"t.dbf"), S(u"K"), S(u"n"), I(4)}}) {
    EXPECT_EQ(write(args).status, kRtError);
  }
  EXPECT_EQ(write({}).status, kRtNormal);
  EXPECT_TRUE(test::readFile("t.dbf") == parts);
}

// The key field is NO1 wherever it stands (the first field when there is
// none); the name field is PNAME, else the field Read_Dbf reads. Whatever
// the layout, Read_Dbf finds what Write_Dbf stored.
TEST_F(DbfTest, WriteFindsItsFieldsByNameAndReadFindsWhatItWrote) {
  struct Case {
    const char* what;
    TableSpec spec;
    std::u16string unit;
    std::string record;       // after the store
    std::u16string readBack;  // what Read_Dbf then gives
  };
  TableSpec noKey;
  noKey.fields = {{"PNAME", 4}, {"PNAME2", 3}, {"pname", 3}, {"UNITS", 2}};
  noKey.records = {{"K1", "aaa", "bbb", "cc"}};
  TableSpec keyInside;
  keyInside.fields = {{"PNAME2", 5}, {"QTY", 2}, {"no1", 4}, {"UNIT", 3}};
  keyInside.records = {{"old", "12", "K1", "old"}};
  const Case cases[] = {
      {"no NO1: the first field is the key", noKey, u"", " K1  aaaNEWcc", u"K1 NEW "},
      {"NO1 after the name", keyInside, u"UU", " NEW  12K1  UU ", u"K1 NEW   UU "},
  };
  for (const Case& c : cases) {
    test::writeFile("t.dbf", test::makeTable(c.spec));
    EXPECT_EQ(write({S(u"t.dbf"), S(u"k1"), S(u"NEW"), S(c.unit)}).printed, u"") << c.what;
    test::TableView view = test::readTableStrictly(test::readFile("t.dbf"));
    ASSERT_EQ(view.records.size(), 1u) << c.what;
    EXPECT_EQ(view.records[0], c.record) << c.what;
    EXPECT_EQ(lookup(u"t", u"K1"), c.readBack) << c.what;
  }
}

TEST_F(DbfTest, ChineseKeysDifferingInATrailByteAreDifferentKeys) {
  test::ScopedCodePage cp(test::chineseCodePage());
  ASSERT_TRUE(cp.active());
  const std::u16string first = platform::fromAnsi("\xA4\x61");
  const std::u16string second = platform::fromAnsi("\xA4\x41");
  TableSpec spec = partsSpec();
  spec.records = {{"\xA4\x61", "FIRST", "U1"}};
  test::writeFile("t.dbf", test::makeTable(spec));
  EXPECT_EQ(lookup(u"t", second), u"<none>");
  write({S(u"t.dbf"), S(second), S(u"SECOND"), S(u"U2")});
  EXPECT_EQ(test::readTableStrictly(test::readFile("t.dbf")).count, 2u);
  EXPECT_EQ(lookup(u"t", first).substr(0, 8), first + u" FIRST ");
}

// A table whose language driver names its code page is read and written in
// it, whatever the ANSI code page: Big5 and GBK tables side by side.
TEST_F(DbfTest, TablesAreReadAndWrittenInTheirOwnCodePage) {
  struct Case {
    const char* file;
    unsigned char driver;
    std::string bolt, hex, piece, washer, hua;  // 螺栓 六角 支 墊圈 华
    std::u16string refused;
  };
  const Case cases[] = {
      {"big5", 0x78, "\xc1\xb3\xae\xea", "\xa4\xbb\xa8\xa4", "\xa4\xe4", "\xb9\xd4\xb0\xe9", "",
       u"\nVALUE NOT IN CODE PAGE 950 OF DBF FILE big5.dbf: 华"},
      {"gbk", 0x7A, "\xc2\xdd\xcb\xa8", "\xc1\xf9\xbd\xc7", "\xd6\xa7", "\x89\x7c\xc8\xa6",
       "\xbb\xaa", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TableSpec spec = partsSpec();
    spec.languageDriver = c.driver;
    spec.records = {{c.bolt, c.hex, c.piece}};
    const std::string file = std::string(c.file) + ".dbf";
    test::writeFile(file, test::makeTable(spec));
    const std::u16string table = platform::fromUtf8(file);
    EXPECT_EQ(lookup(table, u"螺栓"), u"螺栓 六角" + std::u16string(16, u' ') + u" 支  ");
    EXPECT_EQ(write({S(table), S(u"墊圈"), S(u"华"), S(u"")}).printed, c.refused);
    test::TableView view = test::readTableStrictly(test::readFile(file));
    if (!c.refused.empty()) {
      EXPECT_EQ(view.count, 1u);
      continue;
    }
    ASSERT_EQ(view.count, 2u);
    EXPECT_EQ(view.records[1], " " + c.washer + "  " + c.hua + std::string(18, ' ') + "    ");
    EXPECT_EQ(lookup(table, u"墊圈"), u"墊圈 华" + std::u16string(18, u' ') + u"     ");
  }
}

// Appended records hold each field's empty value: blanks in text fields,
// zero bytes in Visual FoxPro's binary ones.
TEST_F(DbfTest, AppendsGiveEveryFieldItsEmptyValue) {
  TableSpec spec;
  spec.version = 0x30;
  spec.afterTerminator = std::string(263, '\0');
  spec.fields = {{"QTY", 4},   {"NO1", 4},  {"PNAME", 6},  {"UNIT", 3},
                 {"PRICE", 8}, {"WHEN", 8}, {"NOTE", 4},   {"OLD", 10},
                 {"D", 8},     {"OK", 1},   {"AMOUNT", 5}, {"_NullFlags", 1}};
  spec.types = "ICCCYTMMDLN0";
  spec.records = {{std::string("\x07\0\0\0", 4), "K1", "BOLT", "PCS", std::string(8, '\x01'),
                   std::string(8, '\x02'), std::string("\x05\0\0\0", 4), "         3", "20240101",
                   "T", "   12", std::string(1, '\0')}};
  const std::string before = test::makeTable(spec);
  test::writeFile("fox.dbf", before);
  EXPECT_EQ(write({S(u"fox.dbf"), S(u"K2"), S(u"NUT"), S(u"BOX")}).printed, u"");
  test::TableView view = test::readTableStrictly(test::readFile("fox.dbf"));
  ASSERT_EQ(view.count, 2u);
  EXPECT_EQ(view.records[1], " " + std::string(4, '\0') + "K2  NUT   BOX" + std::string(20, '\0') +
                                 std::string(10 + 8 + 1 + 5, ' ') + std::string(1, '\0'));
  EXPECT_EQ(view.records[0], test::readTableStrictly(before).records[0]);
}

TEST_F(DbfTest, WriteToAMissingTablePrintsTheBig5MessageOnStandardOutput) {
  test::ProcessResult r = test::runZchost(
      {"-l", "vetrix", "-e", "(Write_Dbf \"nosuch\" \"K\" \"n\" \"u\") (princ \"|\")"});
  EXPECT_EQ(r.out, "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 nosuch|");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists("nosuch"));
}

// Failures of the disk, made on a MemEnv: each is said in full, and the
// table stays as it was.
TEST_F(DbfTest, FailuresOfTheDiskAreReportedInFull) {
  struct Case {
    const char* operation;
    test::Fault fault;
    std::u16string printed;
  };
  const Case cases[] = {
      {"lock", test::Fault::kBusy, u"\nDBF FILE BUSY, NOT WRITTEN: t.dbf"},
      {"write", test::Fault::kIoError, u"\nWRITE DBF FILE ERROR: t.dbf"},
  };
  const std::string table = test::makeTable(partsSpec());
  for (const Case& c : cases) {
    platform::MemEnv disk;
    disk.addFile(u"t.dbf", table);
    test::FaultyEnv env(&disk);
    setHandlerEnv(&env);
    env.failFirst(c.operation, c.fault);
    for (const char16_t* key : {u"A1", u"NEWKEY"}) {
      EXPECT_EQ(write({S(u"t.dbf"), S(key), S(u"n"), S(u"u")}).printed, c.printed) << c.operation;
      EXPECT_TRUE(disk.contents(u"t.dbf") == table) << c.operation;
      env.failFirst(c.operation, c.fault);
    }
    setHandlerEnv(nullptr);
  }
}

TEST_F(DbfTest, ConcurrentWritersLoseNothing) {
  TableSpec spec = partsSpec();
  spec.fields[0].second = 10;
  test::writeFile("shared.dbf", test::makeTable(spec));
  std::vector<std::unique_ptr<test::ChildProcess>> writers;
  for (int w = 0; w < 12; ++w) {
    std::string script;
    for (int i = 0; i < 100; ++i) {
      script += "(Write_Dbf \"shared.dbf\" \"W" + std::to_string(w) + "K" + std::to_string(i) +
                "\" \"writer " + std::to_string(w) + "\" \"U\")\n";
    }
    const std::string file = "writer" + std::to_string(w) + ".lsp";
    test::writeFile(file, script);
    writers.push_back(std::make_unique<test::ChildProcess>(
        std::vector<std::string>{test::zchostPath(), "-l", "vetrix", file}));
  }
  for (auto& writer : writers) EXPECT_EQ(writer->wait(), 0);
  test::TableView view = test::readTableStrictly(test::readFile("shared.dbf"));
  ASSERT_EQ(view.count, 1204u);
  std::set<std::string> keys;
  for (const std::string& record : view.records) keys.insert(test::field(spec, record, 0));
  EXPECT_EQ(keys.size(), 1204u);
  EXPECT_TRUE(keys.count("W11K99    "));
}

}  // namespace
