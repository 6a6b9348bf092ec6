// Tables shared with other programs: shapelib's dbfcreate, dbfadd and dbfdump,
// and Python's dbfread, as peers.
#include <filesystem>

#include "platform/coding.h"
#include "support/dbf.h"
#include "support/host_support.h"
#include "support/process.h"

namespace {

using test::runProcess;

class DbfInteropTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    for (const char* tool : {"/usr/bin/dbfcreate", "/usr/bin/dbfadd", "/usr/bin/dbfdump"}) {
      ASSERT_TRUE(std::filesystem::exists(tool)) << tool << ": install shapelib";
    }
    ASSERT_EQ(runProcess({"/usr/bin/python3", "-c", "import dbfread"}).status, 0)
        << "install python3-dbfread";
  }
  static void run(const std::vector<std::string>& argv) {
    test::ProcessResult r = runProcess(argv);
    ASSERT_EQ(r.status, 0) << argv[0] << ": " << r.err;
  }
  static std::string zchost(const std::string& expressions, const char* codePage = "950") {
    test::ProcessResult r =
        test::runZchost({"--codepage", codePage, "-l", "vetrix", "-e", expressions});
    EXPECT_EQ(r.err, "");
    return r.out;
  }
  // Every record as dbfread sees it, one line each: the values joined by |.
  static std::string dbfread(const std::string& table, const char* encoding = "cp950") {
    const std::string program =
        "import dbfread, sys\n"
        "t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors='strict',"
        " ignore_missing_memofile=True)\n"
        "print(t.header.numrecords)\n"
        "for r in t: print('|'.join('' if v is None else str(v) for v in r.values()))\n";
    test::ProcessResult r = runProcess({"/usr/bin/python3", "-c", program, table, encoding});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
};

TEST_F(DbfInteropTest, ShapelibTablesAreReadUpdatedAndAppendedTo) {
  run({"/usr/bin/dbfcreate", "parts.dbf", "-s", "NO1", "10", "-s", "PNAME", "40", "-s", "UNIT", "6",
       "-n", "QTY", "8", "2"});
  run({"/usr/bin/dbfadd", "parts.dbf", "A100", "HEX BOLT", "PCS", "12.5"});
  run({"/usr/bin/dbfadd", "parts.dbf", "B200", "NUT", "BOX", "3"});
  EXPECT_EQ(zchost("(princ (Read_Dbf \"PARTS\" \"b200\"))"),
            "\nFound Data->[b200]b200 NUT" + std::string(38, ' ') + "BOX   ");
  zchost(
      "(Write_Dbf \"parts.dbf\" \"a100\" \"CAP SCREW\" \"BAG\")"
      "(Write_Dbf \"parts.dbf\" \"C300\" \"WASHER\" \"KG\")");
  EXPECT_EQ(dbfread("parts.dbf"),
            "3\nA100|CAP SCREW|BAG|12.5\nB200|NUT|BOX|3.0\nC300|WASHER|KG|\n");
  test::ProcessResult dump = runProcess({"/usr/bin/dbfdump", "parts.dbf"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("A100       CAP SCREW"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("C300       WASHER"), std::string::npos) << dump.out;
}

TEST_F(DbfInteropTest, TableWrittenOnlyByWriteDbfReadsBackExactly) {
  run({"/usr/bin/dbfcreate", "new.dbf", "-s", "NO1", "8", "-s", "PNAME", "20", "-s", "UNIT", "4"});
  std::string calls, expected;
  for (int i = 0; i < 30; ++i) {
    const std::string key = "K" + std::to_string(i);
    calls += "(Write_Dbf \"new.dbf\" \"" + key + "\" \"NAME " + std::to_string(i * 7) + "\" \"U" +
             std::to_string(i % 3) + "\")";
    expected += key + "|NAME " + std::to_string(i * 7) + "|U" + std::to_string(i % 3) + "\n";
  }
  zchost(calls);
  EXPECT_EQ(dbfread("new.dbf"), "30\n" + expected);
}

TEST_F(DbfInteropTest, FoxProTablesStayReadableByTheOtherReaders) {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 12}, {"UNIT", 4}};
  spec.records = {{"P1", "BOLT", "PCS"}};
  spec.version = 0x30;
  spec.afterTerminator = std::string(263, '\0');  // the database back-link
  test::writeFile("fox.dbf", test::makeTable(spec));
  zchost(
      "(Write_Dbf \"fox.dbf\" \"P1\" \"CAP\" \"BOX\")(Write_Dbf \"fox.dbf\" \"P2\" \"NUT\" "
      "\"KG\")");
  EXPECT_EQ(dbfread("fox.dbf"), "2\nP1|CAP|BOX\nP2|NUT|KG\n");
  test::ProcessResult dump = runProcess({"/usr/bin/dbfdump", "fox.dbf"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("P2     NUT"), std::string::npos) << dump.out;
}

// Tables of other programs: each is updated and appended to where that can
// be done soundly, or refused whole. Afterwards dbfread and GDAL read it
// whole, every old record byte for byte.
TEST_F(DbfInteropTest, TablesOfOtherProgramsStayWholeForOtherReaders) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/ogrinfo")) << "install gdal-bin";
  test::TableSpec fox;  // Visual FoxPro's binary fields around the three
  fox.version = 0x30;
  fox.afterTerminator = std::string(263, '\0');
  fox.fields = {{"QTY", 4},   {"NO1", 4},  {"PNAME", 6}, {"UNIT", 3},
                {"PRICE", 8}, {"WHEN", 8}, {"NOTE", 4},  {"_NullFlags", 1}};
  fox.types = "ICCCYTM0";
  fox.records = {{std::string("\x07\0\0\0", 4), "K1", "BOLT", "PCS", std::string(8, '\0'),
                  std::string(8, '\0'), std::string(4, '\0'), std::string(1, '\0')}};
  test::writeFile("fox.dbf", test::makeTable(fox));
  const char* const notCharacter = "\nKEY FIELD IS NOT A CHARACTER FIELD, NO RECORD APPENDED: ";
  const char* const index = "\nDBF FILE HAS A PRODUCTION INDEX THAT WOULD MISS THE CHANGE: ";
  struct Case {
    std::string file, update, append;
    std::string refusal;  // of the append, and of the update when `both`
    bool both;
    uint32_t added;
    bool dbfread;  // knows every field type
  };
  const Case cases[] = {
      {"people.dbf", "alice", "Zed", "", false, 1, true},
      {"memotest.dbf", "BOB", "Carol", "", false, 1, true},
      {"edit.dbf", "060750179029", "NEWKEY", "", false, 1, true},
      {"latin1.dbf", "2", "3", notCharacter, false, 0, true},
      {"fox.dbf", "K3", "K2", "", false, 2, true},  // two new keys
      {"vfp_types.dbf", "1", "2", notCharacter, true, 0, false},
      {"employees.dbf", "1", "2", index, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto sample = test::testDataDir() / "dbf" / "other" / c.file;
    if (std::filesystem::exists(sample)) test::writeFile(c.file, test::readPath(sample));
    const std::string before = test::readFile(c.file);
    const std::string printed =
        zchost("(Write_Dbf \"" + c.file + "\" \"" + c.update + "\" \"\" \"\")(Write_Dbf \"" +
               c.file + "\" \"" + c.append + "\" \"\" \"\")");
    const std::string refusal = c.refusal.empty() ? "" : c.refusal + c.file;
    EXPECT_EQ(printed, (c.both ? refusal : "") + refusal);
    const std::string after = test::readFile(c.file);
    const uint32_t count = platform::decodeFixed32(before.data() + 4);
    const size_t records = platform::decodeFixed16(before.data() + 8) +
                           size_t{count} * platform::decodeFixed16(before.data() + 10);
    const std::string total = std::to_string(count + c.added);
    EXPECT_EQ(platform::decodeFixed32(after.data() + 4), count + c.added);
    EXPECT_EQ(after.substr(8, records - 8), before.substr(8, records - 8));
    if (c.dbfread) {
      std::string lines = dbfread(c.file, "latin1");
      EXPECT_EQ(lines.substr(0, lines.find('\n')), total);
    }
    test::ProcessResult gdal = runProcess({"/usr/bin/ogrinfo", "-ro", "-al", c.file});
    EXPECT_EQ(gdal.status, 0) << gdal.err;
    EXPECT_EQ(gdal.err, "");
    EXPECT_NE(gdal.out.find("Feature Count: " + total), std::string::npos);
  }
}

TEST_F(DbfInteropTest, Big5NamesRoundTripWithDbfread) {
  run({"/usr/bin/dbfcreate", "zh.dbf", "-s", "NO1", "6", "-s", "PNAME", "12", "-s", "UNIT", "4"});
  zchost(
      "(Write_Dbf \"zh.dbf\" \"P1\" \"六角螺栓\" \"支\")(Write_Dbf \"zh.dbf\" \"P2\" \"墊圈\" "
      "\"個\")");
  EXPECT_EQ(dbfread("zh.dbf"), "2\nP1|六角螺栓|支\nP2|墊圈|個\n");
  EXPECT_EQ(zchost("(princ (Read_Dbf \"zh\" \"P1\"))"), "\nFound Data->[P1]P1 六角螺栓     支  ");
}

}  // namespace
