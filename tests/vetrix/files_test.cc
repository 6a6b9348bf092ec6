// Delfile, Copyfile and Dirfile through the host, on real files.
#include <filesystem>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "platform/path.h"
#include "platform/text.h"
#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/host_support.h"
#include "support/process.h"
#include "support/slides.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/directory_tree.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/handler_env.h"
#include "vetrix/slides/slbedit.h"

namespace {

namespace fs = std::filesystem;
using test::call;
using test::I;
using test::S;

class FilesTest : public test::ModuleTest {};

TEST_F(FilesTest, DelfileAnnouncesDeletesAndReportsFailure) {
  test::writeFile("gone.txt", "x");
  zc::CallResult result = call(u"Delfile", {S(u"gone.txt")});
  EXPECT_EQ(result.printed, u"\nDELETE->gone.txt");
  EXPECT_FALSE(fs::exists("gone.txt"));
  EXPECT_EQ(result.kind, zc::CallResult::Kind::kNone);

  EXPECT_EQ(call(u"delfile", {S(u"missing.txt")}).printed, u"\nDELETE->missing.txt\nDELETE FAIL");
  test::writeFile("a.txt", "x");
  EXPECT_EQ(call(u"Delfile", {S(u"*.txt")}).printed, u"\nDELETE->*.txt\nDELETE FAIL");
  EXPECT_TRUE(fs::exists("a.txt"));
}

TEST_F(FilesTest, DelfileRefusesBadArgumentsSilently) {
  test::writeFile("a.txt", "x");
  for (const auto& args : std::vector<std::vector<zc::HostValue>>{
           {}, {S(u"a.txt"), S(u"a.txt")}, {I(5)}, {zc::HostValue::nil()}}) {
    EXPECT_EQ(call(u"Delfile", args).printed, u"");
  }
  EXPECT_TRUE(fs::exists("a.txt"));
}

TEST_F(FilesTest, CopyfileCopiesOverAnExistingDestination) {
  test::writeFile("src.txt", "new contents");
  test::writeFile("dst.txt", "old");
  EXPECT_EQ(call(u"Copyfile", {S(u"src.txt"), S(u"dst.txt"), I(3)}).printed,
            u"\nCOPY src.txt dst.txt");
  EXPECT_EQ(test::readFile("dst.txt"), "new contents");
}

TEST_F(FilesTest, CopyfileReportsAMissingSource) {
  EXPECT_EQ(call(u"Copyfile", {S(u"nope.txt"), S(u"dst.txt")}).printed,
            u"\nCOPY nope.txt dst.txt\nCOPY FAIL!");
  EXPECT_FALSE(fs::exists("dst.txt"));
}

TEST_F(FilesTest, CopyfileRefusesBadArgumentsSilently) {
  test::writeFile("src.txt", "x");
  for (const auto& args : std::vector<std::vector<zc::HostValue>>{
           {}, {S(u"src.txt")}, {I(1), S(u"dst.txt")}, {S(u"src.txt"), I(2)}}) {
    EXPECT_EQ(call(u"Copyfile", args).printed, u"");
  }
  EXPECT_FALSE(fs::exists("dst.txt"));
}

TEST_F(FilesTest, CopyfileTakesPathsLongerThanEightyCharacters) {
  const std::u16string longName = std::u16string(120, u'n') + u".txt";
  test::writeFile("src.txt", "long");
  EXPECT_EQ(call(u"Copyfile", {S(u"src.txt"), S(longName)}).printed, u"\nCOPY src.txt " + longName);
  EXPECT_EQ(test::readFile(test::utf8(longName)), "long");
}

std::string line(const char* name, long size, const char* where) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%12s %10ld %s\r\n", name, size, where);
  return buffer;
}

TEST_F(FilesTest, DirfileListsDepthFirstWithDriveAndDirectory) {
  fs::create_directories("a/b/c.dwg");  // a directory matching the pattern
  fs::create_directories("a/z");
  test::writeFile("a/x.dwg", std::string(1234, 'x'));
  test::writeFile("a/b/y.dwg", "12345");
  test::writeFile("a/b/c.dwg/deep.dwg", "");
  test::writeFile("a/z/w.dwg", "w");
  test::writeFile("a/note.txt", "not listed");
  EXPECT_EQ(call(u"Dirfile", {S(u"C:a\\*.dwg")}).printed, u"");
  EXPECT_EQ(test::readFile("dirfile"), line("x.dwg", 1234, "C:a\\") + line("y.dwg", 5, "C:a\\b\\") +
                                           line("deep.dwg", 0, "C:a\\b\\c.dwg\\") +
                                           line("w.dwg", 1, "C:a\\z\\"));
}

// Files and folders come in the order NTFS keeps names (sortByName): upper
// case first, then the names themselves, by UTF-16 code units of every
// width, a name before the longer ones it begins.
TEST_F(FilesTest, DirfileSortsFilesAndFoldersAsNtfsKeepsNames) {
  std::vector<std::u16string> names = {u"ab.dwg",     u"a.dwg",      u"\u00e9.dwg", u"_.dwg",
                                       u"\u0100.dwg", u"\u3042.dwg", u"\u4e2d.dwg", u"\uff21.dwg",
                                       u"Z.dwg",      u"ab.dwgx",    u"b.dwg"};
#if !defined(_WIN32)
  // Names that differ in case only, which Windows keeps as one.
  names.insert(names.end(), {u"AB.dwg", u"aB.dwg", u"\u00c9.dwg"});
#endif
  fs::create_directories("s");
  std::vector<platform::DirEntry> files, folders;
  for (const std::u16string& name : names) {
    test::writeFile(platform::toUtf8(u"s/" + name), "x");
    const std::u16string folder = name.substr(0, name.find(u'.'));
    if (fs::create_directory(fs::path(u"s/" + folder))) {
      test::writeFile(platform::toUtf8(u"s/" + folder + u"/in.dwg"), "");
      folders.push_back({folder, true, false, 0});
    }
    if (name.ends_with(u".dwg")) files.push_back({name, false, false, 1});
  }
  platform::sortByName(&files);
  platform::sortByName(&folders);
  std::string expected;
  for (const platform::DirEntry& file : files) {
    expected += formatListingLine(platform::toAnsi(file.name), 1, "", "s/");
  }
  for (const platform::DirEntry& folder : folders) {
    expected += formatListingLine("in.dwg", 0, "", "s/" + platform::toAnsi(folder.name) + "\\");
  }
  EXPECT_EQ(call(u"Dirfile", {S(u"s/*.dwg")}).printed, u"");
  EXPECT_EQ(test::readFile("dirfile"), expected);
}

TEST_F(FilesTest, DirfileOfARelativePatternLeavesTheLastColumnsEmpty) {
  fs::create_directories("sub");
  test::writeFile("one.txt", "1");
  test::writeFile("sub/two.txt", "22");
  call(u"Dirfile", {S(u"*.txt")});
  EXPECT_EQ(test::readFile("dirfile"), line("one.txt", 1, "") + line("two.txt", 2, "sub\\"));
}

TEST_F(FilesTest, DirfileWithoutWildcardsFindsTheNameInEveryFolder) {
  fs::create_directories("p/q");
  test::writeFile("p/x.dwg", "1");
  test::writeFile("p/q/X.DWG", "22");
  call(u"Dirfile", {S(u"p/x.dwg")});
  EXPECT_EQ(test::readFile("dirfile"), line("x.dwg", 1, "p/") + line("X.DWG", 2, "p/q\\"));
}

#if !defined(_WIN32)
// Symbolic links to directories; junctions are the Windows counterpart.
TEST_F(FilesTest, DirfileWalksLinkedFoldersButNeverALoopOnPosix) {
  fs::create_directories("t/inner");
  fs::create_directories("elsewhere/deep");
  test::writeFile("t/inner/f.txt", "f");
  test::writeFile("elsewhere/deep/g.txt", "gg");
  fs::create_directory_symlink("..", "t/inner/loop");
  fs::create_directory_symlink("../../elsewhere", "t/inner/shared");
  fs::create_directory_symlink("../../t", "elsewhere/deep/back");    // a loop through the link
  fs::create_directory_symlink("../../elsewhere", "t/inner/again");  // a folder reached twice
  call(u"Dirfile", {S(u"t/*.txt")});
  EXPECT_EQ(test::readFile("dirfile"),
            line("f.txt", 1, "t/inner\\") + line("g.txt", 2, "t/inner\\again\\deep\\"));
  // Links that fan out without a loop: each folder is listed once, so forty
  // levels of two links each take no longer than forty folders.
  std::string level = "fan";
  fs::create_directory(level);
  for (int depth = 0; depth < 40; ++depth) {
    fs::create_directory(level + "/next");
    fs::create_directory_symlink("next", level + "/a");
    fs::create_directory_symlink("next", level + "/b");
    level += "/next";
  }
  test::writeFile(level + "/end.txt", "e");
  call(u"Dirfile", {S(u"fan/*.txt")});
  const std::string listing = test::readFile("dirfile");
  EXPECT_EQ(listing.find("end.txt"), 5u);
  EXPECT_EQ(listing.find("end.txt", 6), std::string::npos);
}
#endif

// A file without write permission is read-only for every function, on both
// platforms and for every user.
TEST_F(FilesTest, ReadOnlyFilesAreNeverChanged) {
  test::TableSpec spec;
  spec.fields = {{"NO1", 4}, {"PNAME", 8}, {"UNIT", 4}};
  spec.records = {{"K1", "N", "U"}};
  const std::string table = test::makeTable(spec);
  const std::string library = test::makeLibrary({{"A", test::makeSlide(20)}});
  test::writeFile("keep.txt", "keep");
  test::writeFile("t.dbf", table);
  test::writeFile("lib.slb", library);
  test::writeFile("b.sld", test::makeSlide(30));
  for (const char* name : {"keep.txt", "t.dbf", "lib.slb"}) {
    fs::permissions(name, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  EXPECT_EQ(call(u"Delfile", {S(u"keep.txt")}).printed, u"\nDELETE->keep.txt\nDELETE FAIL");
  EXPECT_EQ(call(u"Copyfile", {S(u"b.sld"), S(u"keep.txt")}).printed,
            u"\nCOPY b.sld keep.txt\nCOPY FAIL!");
  EXPECT_EQ(call(u"Slbedit", {S(u"a"), S(u"lib"), S(u"b")}).printed,
            u"\nSLB FILE NOT CHANGED: lib.slb");
  test::ProcessResult r =
      test::runZchost({"-l", "vetrix", "-e", "(Write_Dbf \"t.dbf\" \"K1\" \"NEW\" \"X\")"});
  EXPECT_EQ(r.out, "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 t.dbf");
  // A status that cannot be read is no permission either: with every look
  // at a file's status failing, by name or by handle, nothing changes, a
  // writable file neither.
  test::writeFile("open.txt", "open");
  for (const char* failing : {"stat", "fstat"}) {
    test::FaultyEnv env(platform::Env::defaultEnv());
    env.failEvery(failing, test::Fault::kAccessDenied);
    setHandlerEnv(&env);
    EXPECT_EQ(test::callHandler(Delfile, {S(u"keep.txt")}).printed,
              u"\nDELETE->keep.txt\nDELETE FAIL");
    for (const char16_t* target : {u"keep.txt", u"open.txt"}) {
      EXPECT_NE(test::callHandler(Copyfile, {S(u"b.sld"), S(target)}).printed.find(u"COPY FAIL!"),
                std::u16string::npos);
    }
    EXPECT_NE(test::callHandler(Slbedit, {S(u"a"), S(u"lib"), S(u"b")}).printed,
              u"\nSLBEDIT ADD SLB SUCCESS !");
    test::callHandler(Write_Dbf, {S(u"t.dbf"), S(u"K1"), S(u"NEW"), S(u"X")});
    setHandlerEnv(nullptr);
  }
  EXPECT_EQ(test::readFile("keep.txt"), "keep");
  EXPECT_EQ(test::readFile("open.txt"), "open");
  EXPECT_EQ(test::readFile("t.dbf"), table);
  EXPECT_EQ(test::readFile("lib.slb"), library);
  EXPECT_EQ(test::filesHere(),
            (std::vector<std::string>{"b.sld", "keep.txt", "lib.slb", "open.txt", "t.dbf"}));
}

TEST_F(FilesTest, DirfileTruncatesOnNoMatchAndKeepsItOnBadArguments) {
  test::writeFile("dirfile", "previous");
  for (const auto& args :
       std::vector<std::vector<zc::HostValue>>{{}, {I(3)}, {S(u"*.x"), S(u"*.y")}}) {
    call(u"Dirfile", args);
    EXPECT_EQ(test::readFile("dirfile"), "previous");
  }
  call(u"Dirfile", {S(u"*.nothing")});
  EXPECT_EQ(test::readFile("dirfile"), "");
  // The old listing is listed; the new one's temporary file never is.
  test::writeFile("dirfile", "previous");
  call(u"Dirfile", {S(u"*")});
  EXPECT_EQ(test::readFile("dirfile"), "     dirfile          8 \r\n");
  EXPECT_EQ(test::filesHere(), std::vector<std::string>{"dirfile"});
}

TEST_F(FilesTest, DirfileReportsAnUncreatableListing) {
  fs::create_directory("dirfile");  // a folder where the file should go
  EXPECT_EQ(call(u"Dirfile", {S(u"*.*")}).printed, u"\nOPEN DIRFILE FAIL");
}

#if !defined(_WIN32)
// A FIFO, or a folder, named as a table, library, slide, copy source or
// LISP file is refused at once with the function's usual failure: nothing
// ever waits on one.
TEST_F(FilesTest, SpecialFilesAreRefusedAtOnceOnPosix) {
  for (const char* name : {"fifo.dbf", "fifo.slb", "fifo.sld"}) ASSERT_EQ(::mkfifo(name, 0644), 0);
  fs::create_directory("dir.dbf");
  test::writeFile("lib.slb", test::makeLibrary({{"A", test::makeSlide(20)}}));
  const test::ProcessResult r = test::runProcess(
      {"/usr/bin/timeout", "20", test::zchostPath(), "-e", "(Read_Dbf \"fifo\" \"A1\")", "-e",
       "(Read_Dbf \"dir\" \"A1\")", "-e", "(Write_Dbf \"fifo.dbf\" \"K\" \"n\" \"u\")", "-e",
       "(Slbedit \"a\" \"fifo\" \"x\")", "-e", "(Slbedit \"a\" \"lib\" \"fifo\")", "-e",
       "(Copyfile \"fifo.sld\" \"copy.txt\")", "-e", "(princ (open \"fifo.sld\" \"r\"))"});
  EXPECT_EQ(r.out,
            "\nOpen DBF NAME Fail->[fifo.dbf]\nNot Found Data->[A1]"
            "\nOpen DBF NAME Fail->[dir.dbf]\nNot Found Data->[A1]"
            "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 fifo.dbf"
            "\nOPEN SLB FILE ERROR: fifo.slb"
            "\nFile not exist:fifo.sld\nFile [fifo.sld] Open Error !"
            "\nCOPY fifo.sld copy.txt\nCOPY FAIL!nil");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::runProgram("slb", {"list", "fifo.slb"}).status, 1);
  EXPECT_FALSE(fs::exists("copy.txt"));
}
#endif

#if !defined(_WIN32)
// Names copied from Windows are in the ANSI code page, not UTF-8: they are
// listed and found by their characters. A name holding an undecodable
// character (U+FFFD) finds no other file, and a name with a line break,
// which no Windows name has, splits no listing line.
TEST_F(FilesTest, NamesInTheAnsiCodePageAreListedAndFoundOnPosix) {
  test::ScopedCodePage cp("950");
  ASSERT_TRUE(cp.active());
  test::writeFile("\xa4\xa4.dwg", "zh");   // 中 in Big5
  test::writeFile("\xa4\xe5.dwg", "wen");  // 文
  test::writeFile("a\nb.dwg", "split");
  EXPECT_EQ(call(u"Delfile", {S(u"\uFFFD.dwg")}).printed, u"\nDELETE->\uFFFD.dwg\nDELETE FAIL");
  call(u"Dirfile", {S(u"*.dwg")});
  EXPECT_EQ(test::readFile("dirfile"),
            "      \xa4\xa4.dwg          2 \r\n      \xa4\xe5.dwg          3 \r\n");
  call(u"Delfile", {S(u"文.dwg")});
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"a\nb.dwg", "dirfile", "\xa4\xa4.dwg"}));
}
#endif

TEST(ListingLine, PrintsTheLowThirtyTwoBitsSignedAndLongNamesWhole) {
  for (const auto& [size, column] :
       std::vector<std::pair<uint64_t, std::string>>{{3000000000ull, "-1294967296"},
                                                     {2147483648ull, "-2147483648"},
                                                     {2147483647ull, "2147483647"},
                                                     {4294967296ull + 7, "         7"},
                                                     {0, "         0"}}) {
    EXPECT_EQ(formatListingLine("big.bin", size, "", ""), "     big.bin " + column + " \r\n");
  }
  const std::string name(300, 'n');
  EXPECT_EQ(formatListingLine(name, 1, "C:", "\\d\\"), name + "          1 C:\\d\\\r\n");
}

}  // namespace
