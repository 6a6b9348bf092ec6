// Tables shared with other programs: shapelib's dbfcreate, dbfadd and dbfdump,
// and Python's dbfread, as peers.
#include <filesystem>

#include "tests/support/dbf.h"
#include "tests/support/host_support.h"
#include "tests/support/process.h"

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

TEST_F(DbfInteropTest, Big5NamesRoundTripWithDbfread) {
  run({"/usr/bin/dbfcreate", "zh.dbf", "-s", "NO1", "6", "-s", "PNAME", "12", "-s", "UNIT", "4"});
  zchost(
      "(Write_Dbf \"zh.dbf\" \"P1\" \"六角螺栓\" \"支\")(Write_Dbf \"zh.dbf\" \"P2\" \"墊圈\" "
      "\"個\")");
  EXPECT_EQ(dbfread("zh.dbf"), "2\nP1|六角螺栓|支\nP2|墊圈|個\n");
  EXPECT_EQ(zchost("(princ (Read_Dbf \"zh\" \"P1\"))"), "\nFound Data->[P1]P1 六角螺栓     支  ");
}

}  // namespace
