// Every writer on a full disk: what it writes stays the old file, or is not
// made at all; it says so; and it leaves no temporary file. On a real small
// tmpfs where the test may mount one, and always on a MemEnv whose writes
// fail as a full disk's do.
#include <functional>
#include <optional>

#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/host_support.h"
#include "support/mem_env.h"
#include "support/slides.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/handler_env.h"
#include "vetrix/slides/slbedit.h"

#if !defined(_WIN32)
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#endif

namespace {

using test::S;

// The files a full disk holds before the writers run.
struct Disk {
  std::function<void(const std::string&, const std::string&)> put;
  std::function<std::optional<std::string>(const std::string&)> get;
  std::function<std::vector<std::string>()> names;
};

// A table whose append needs a new page of the disk.
std::string pageTable() {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records.resize(260, {"K", "N", "U"});
  spec.afterTerminator = std::string(2, ' ');
  return test::makeTable(spec);
}

// Puts the files, lets `fill` take the rest of the room, runs every writer
// (sources named through `source`) and checks what each left.
void runWriters(const Disk& disk, const std::function<void()>& fill, const std::string& source) {
  const std::string text = "old text", library = test::makeLibrary({{"A", test::makeSlide(40)}});
  const std::string table = pageTable();
  disk.put("old.txt", text);
  disk.put("lib.slb", library);
  disk.put("t.dbf", table);
  disk.put("dirfile", "old listing");
  fill();
  const std::vector<std::string> before = disk.names();
  const std::u16string big = platform::fromUtf8(source + "big");
  struct Writer {
    const char* what;
    int (*handler)(const ResultBuffer*);
    std::vector<zc::HostValue> args;
    std::u16string printed;
  };
  const Writer writers[] = {
      {"Copyfile over a file",
       Copyfile,
       {S(big + u".bin"), S(u"old.txt")},
       u"\nCOPY " + big + u".bin old.txt\nCOPY FAIL!"},
      {"Copyfile to a new name",
       Copyfile,
       {S(big + u".bin"), S(u"new.txt")},
       u"\nCOPY " + big + u".bin new.txt\nCOPY FAIL!"},
      {"Slbedit adding", Slbedit, {S(u"a"), S(u"lib"), S(big)}, u"\nSLB FILE NOT CHANGED: lib.slb"},
      {"Slbedit making a library",
       Slbedit,
       {S(u"a"), S(u"newlib"), S(big)},
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
  EXPECT_TRUE(disk.get("old.txt") == text);
  EXPECT_TRUE(disk.get("lib.slb") == library);
  EXPECT_TRUE(disk.get("t.dbf") == table);
  EXPECT_TRUE(disk.get("dirfile") == "old listing");
  EXPECT_EQ(disk.names(), before);  // nothing new, no temporary file
}

class DiskFullTest : public test::ModuleTest {
 protected:
  void TearDown() override {
    setHandlerEnv(nullptr);
    ModuleTest::TearDown();
  }
};

TEST_F(DiskFullTest, EveryWriterLeavesTheOldFileOnAFullMemEnv) {
  platform::MemEnv memory;
  test::FaultyEnv env(&memory);
  setHandlerEnv(&env);
  memory.addFile(u"big.bin", std::string(300000, 'b'));
  memory.addFile(u"big.sld", test::makeSlide(300000));
  Disk disk;
  disk.put = [&](const std::string& name, const std::string& bytes) {
    memory.addFile(platform::fromUtf8(name), bytes);
  };
  disk.get = [&](const std::string& name) { return memory.contents(platform::fromUtf8(name)); };
  disk.names = [&] {
    std::vector<std::string> names;
    for (const std::u16string& path : memory.files()) names.push_back(platform::toUtf8(path));
    std::sort(names.begin(), names.end());
    return names;
  };
  runWriters(
      disk, [&] { env.failWrites(test::Fault::kNoSpace); }, "");
}

#if !defined(_WIN32)
TEST_F(DiskFullTest, EveryWriterLeavesTheOldFileOnAFullTmpfsOnPosix) {
  namespace fs = std::filesystem;
  fs::create_directory("full");
  if (::mount("tmpfs", "full", "tmpfs", 0, "size=128k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                 << "); the MemEnv test stands for it";
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
  Disk disk;
  disk.put = [](const std::string& name, const std::string& bytes) {
    test::writeFile(name, bytes);
  };
  disk.get = [](const std::string& name) -> std::optional<std::string> {
    if (!fs::exists(name)) return std::nullopt;
    return test::readFile(name);
  };
  disk.names = [] { return test::filesHere(); };
  const auto fill = [] {
    std::ofstream filler("filler", std::ios::binary);
    const std::string page(4096, 'x');
    while (filler.write(page.data(), page.size()).flush()) {
    }
  };
  runWriters(disk, fill, "../");
}
#endif

}  // namespace
