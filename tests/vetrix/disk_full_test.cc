// Every writer on a real full disk (a small tmpfs, where the test may mount
// one): what it writes stays the old file, or is not made at all; it says
// so; and it leaves no temporary file. (Every other fault, on every
// primitive, is made on a MemEnv by the writers' fault test.)
#if !defined(_WIN32)
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/dbf.h"
#include "support/host_support.h"
#include "support/slides.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/slides/slbedit.h"

namespace {

namespace fs = std::filesystem;
using test::S;

// A table whose append needs a new page of the disk.
std::string pageTable() {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records.resize(260, {"K", "N", "U"});
  spec.afterTerminator = std::string(2, ' ');
  return test::makeTable(spec);
}

std::optional<std::string> contents(const std::string& name) {
  if (!fs::exists(name)) return std::nullopt;
  return test::readFile(name);
}

class DiskFullTest : public test::ModuleTest {};

TEST_F(DiskFullTest, EveryWriterLeavesTheOldFileOnAFullTmpfsOnPosix) {
  fs::create_directory("full");
  if (::mount("tmpfs", "full", "tmpfs", 0, "size=128k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                 << "); the writers' fault test stands for it";
  }
  test::writeFile("big.bin", std::string(300000, 'b'));
  test::writeFile("big.sld", test::makeSlide(300000));
  const fs::path home = fs::current_path();
  fs::current_path("full");
  struct Restore {
    fs::path home;
    ~Restore() {
      fs::current_path(home);
      ::umount2("full", MNT_DETACH);
    }
  } restore{home};

  const std::string text = "old text", library = test::makeLibrary({{"A", test::makeSlide(40)}});
  const std::string table = pageTable();
  test::writeFile("old.txt", text);
  test::writeFile("lib.slb", library);
  test::writeFile("t.dbf", table);
  test::writeFile("dirfile", "old listing");
  test::writeFile("linked.txt", text);
  fs::create_hard_link("linked.txt", "second.txt");
  {
    std::ofstream filler("filler", std::ios::binary);
    const std::string page(4096, 'x');
    while (filler.write(page.data(), page.size()).flush()) {
    }
  }
  const std::vector<std::string> before = test::filesHere();
  struct Writer {
    const char* what;
    int (*handler)(const ResultBuffer*);
    std::vector<zc::HostValue> args;
    std::u16string printed;
  };
  const Writer writers[] = {
      {"Copyfile over a file",
       Copyfile,
       {S(u"../big.bin"), S(u"old.txt")},
       u"\nCOPY ../big.bin old.txt\nCOPY FAIL!"},
      {"Copyfile over a hard-linked file",
       Copyfile,
       {S(u"../big.bin"), S(u"linked.txt")},
       u"\nCOPY ../big.bin linked.txt\nCOPY FAIL!"},
      {"Copyfile to a new name",
       Copyfile,
       {S(u"../big.bin"), S(u"new.txt")},
       u"\nCOPY ../big.bin new.txt\nCOPY FAIL!"},
      {"Slbedit adding",
       Slbedit,
       {S(u"a"), S(u"lib"), S(u"../big")},
       u"\nSLB FILE NOT CHANGED: lib.slb"},
      {"Slbedit making a library",
       Slbedit,
       {S(u"a"), S(u"newlib"), S(u"../big")},
       u"\nSLB FILE NOT CHANGED: newlib.slb"},
      {"Write_Dbf appending",
       Write_Dbf,
       {S(u"t.dbf"), S(u"NEW"), S(u"N"), S(u"U")},
       u"\nWRITE DBF FILE ERROR: t.dbf"},
      {"Dirfile", Dirfile, {S(u"*")}, u"\nWRITE DIRFILE FAIL"},
  };
  for (const Writer& w : writers) {
    EXPECT_EQ(test::callHandler(w.handler, w.args).printed, w.printed) << w.what;
  }
  for (const char* name : {"old.txt", "linked.txt", "second.txt"}) {
    EXPECT_TRUE(contents(name) == text) << name;
  }
  EXPECT_TRUE(contents("lib.slb") == library);
  EXPECT_TRUE(contents("t.dbf") == table);
  EXPECT_TRUE(contents("dirfile") == "old listing");
  EXPECT_EQ(test::filesHere(), before);  // nothing new, no temporary file
}

}  // namespace
#endif
