// Root working in a folder that another user (nobody) may write too: one
// test for each way that user could make root's writers hurt a file. Run
// as root, with the other user's files made by root and given to nobody;
// skipped, saying so, for any other user.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/file_writes.h"
#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/host_support.h"
#include "support/slides.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/slides/slbedit.h"
#include "vetrix/slides/slide_library.h"

namespace {

namespace fs = std::filesystem;
using test::S;

constexpr uid_t kNobody = 65534;

uint32_t modeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
uid_t ownerOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : 0;
}

// Gives `path` (a link itself, not what it leads to) to nobody.
void giveToNobody(const std::string& path) {
  ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
}

class SharedFolderTest : public test::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act for a second user";
    fs::create_directory("shared");
    ::chmod("shared", 01777);
    library_ = test::makeLibrary({{"A", test::makeSlide(300, 'a')}});
  }
  std::string library_;
};

// A link planted under a name root writes (a listing, a copy, a library, a
// table) is not followed out of the shared folder: the file it leads to
// keeps its bytes and its mode. Root's own link there is followed.
TEST_F(SharedFolderTest, LinksAnotherUserPlantedAreNotFollowed) {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records = {{"K1", "N", "U"}};
  const std::string table = test::makeTable(spec);
  test::writeFile("secret", "secret");
  test::writeFile("private.slb", library_);
  test::writeFile("private.dbf", table);
  for (const char* name : {"secret", "private.slb", "private.dbf"}) ::chmod(name, 0600);
  test::writeFile("shared/b.sld", test::makeSlide(200, 'b'));
  for (const auto& [link, to] : {std::pair{"shared/dirfile", "../secret"},
                                 {"shared/copy.txt", "../secret"},
                                 {"shared/lib.slb", "../private.slb"},
                                 {"shared/t.dbf", "../private.dbf"}}) {
    fs::create_symlink(to, link);
    giveToNobody(link);
  }
  fs::create_symlink("../private.slb", "shared/mine.slb");  // root's own
  fs::current_path("shared");
  EXPECT_EQ(test::callHandler(Dirfile, {S(u"*.none")}).printed, u"\nOPEN DIRFILE FAIL");
  EXPECT_EQ(test::callHandler(Copyfile, {S(u"b.sld"), S(u"copy.txt")}).printed,
            u"\nCOPY b.sld copy.txt\nCOPY FAIL!");
  EXPECT_EQ(test::callHandler(Slbedit, {S(u"a"), S(u"lib"), S(u"b")}).printed,
            u"\nOPEN SLB FILE ERROR: lib.slb");
  test::callHandler(Write_Dbf, {S(u"t.dbf"), S(u"K1"), S(u"NEW"), S(u"X")});
  fs::current_path("..");
  EXPECT_EQ(test::readFile("secret"), "secret");
  EXPECT_EQ(test::readFile("private.dbf"), table);
  EXPECT_EQ(test::readFile("private.slb"), library_);
  for (const char* name : {"secret", "private.slb", "private.dbf"}) {
    EXPECT_EQ(modeOf(name), 0600u) << name;
  }
  fs::current_path("shared");
  EXPECT_EQ(test::callHandler(Slbedit, {S(u"a"), S(u"mine"), S(u"b")}).printed,
            u"\nSLBEDIT ADD SLB SUCCESS !");
  fs::current_path("..");
  EXPECT_EQ(test::parseLibrary(test::readFile("private.slb")).size(), 2u);
  EXPECT_TRUE(fs::is_symlink("shared/mine.slb"));
}

// A journal beside a library is finished into it only when it is root's
// (or the library owner's) own plain file: planted by nobody, or a link to
// a file root may read, it is left alone and reported.
TEST_F(SharedFolderTest, JournalsAnotherUserPlantedAreNeverApplied) {
  const std::string newer = test::makeLibrary({{"N", test::makeSlide(900, 'n')}});
  for (const char* planted : {"owned by nobody", "a link to root's file", "root's own"}) {
    SCOPED_TRACE(planted);
    fs::remove_all("shared");
    fs::create_directory("shared");
    ::chmod("shared", 01777);
    test::writeFile("shared/lib.slb", library_);
    fs::create_hard_link("shared/lib.slb", "shared/other.slb");
    {
      // A write-over whose journal could not be removed: a valid journal.
      test::FaultyEnv env(platform::Env::defaultEnv());
      env.failFirst("remove", test::Fault::kIoError);
      platform::NewFile out(env);
      ASSERT_TRUE(out.begin(u"shared/lib.slb").ok());
      ASSERT_TRUE(out.file().write(0, newer.data(), newer.size()).ok());
      ASSERT_FALSE(out.publish().ok());
      ASSERT_EQ(out.published(), platform::Published::kJournalKept);
    }
    test::writeFile("shared/lib.slb", library_);  // put back in place: the journal matches it
    const std::string journal = "shared/~lib.slb.new";
    if (std::string(planted) == "owned by nobody") {
      giveToNobody(journal);
    } else if (std::string(planted) == "a link to root's file") {
      fs::rename(journal, "journal");
      ::chmod("journal", 0600);
      fs::create_symlink("../journal", journal);
      giveToNobody(journal);
    }
    const LibraryCheck check = checkLibraryEdits(*platform::Env::defaultEnv(), u"shared/lib.slb");
    const bool ours = std::string(planted) == "root's own";
    EXPECT_EQ(check.restored, ours);
    EXPECT_EQ(check.foreignJournal.empty(), ours);
    EXPECT_EQ(test::readFile("shared/lib.slb"), ours ? newer : library_);
  }
}

// Copies are given modes and owners as cp gives them: a new copy the
// source's permission bits less the umask, never set-user-ID; a replaced
// file keeps its own mode, owner and group. Root's edits of nobody's
// library and listing leave them nobody's.
TEST_F(SharedFolderTest, CopiesAndEditsKeepModesAndOwnersAsCpDoes) {
  test::writeFile("program", "#!/bin/sh\n");
  ::chmod("program", 04755);
  giveToNobody("program");
  test::writeFile("theirs.txt", "theirs");
  ::chmod("theirs.txt", 0600);
  giveToNobody("theirs.txt");
  test::writeFile("lib.slb", library_);
  giveToNobody("lib.slb");
  test::writeFile("dirfile", "old");
  giveToNobody("dirfile");
  test::writeFile("b.sld", test::makeSlide(200, 'b'));
  const mode_t mask = ::umask(022);
  test::callHandler(Copyfile, {S(u"program"), S(u"copy")});
  test::callHandler(Copyfile, {S(u"program"), S(u"theirs.txt")});
  EXPECT_EQ(test::callHandler(Slbedit, {S(u"a"), S(u"lib"), S(u"b")}).printed,
            u"\nSLBEDIT ADD SLB SUCCESS !");
  test::callHandler(Dirfile, {S(u"*.none")});
  ::umask(mask);
  EXPECT_EQ(modeOf("copy"), 0755u);
  EXPECT_EQ(ownerOf("copy"), 0u);
  EXPECT_EQ(test::readFile("theirs.txt"), "#!/bin/sh\n");
  EXPECT_EQ(modeOf("theirs.txt"), 0600u);
  for (const char* name : {"theirs.txt", "lib.slb", "dirfile"}) {
    EXPECT_EQ(ownerOf(name), kNobody) << name;
  }
}

}  // namespace
#endif
