// Slbedit and the slide-library formats, on real files.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <filesystem>

#include "platform/text.h"
#include "support/faulty_env.h"
#include "support/host_support.h"
#include "support/mem_env.h"
#include "support/process.h"
#include "support/slides.h"
#include "vetrix/handler_env.h"
#include "vetrix/slides/slbedit.h"

namespace {

namespace fs = std::filesystem;
using test::I;
using test::makeLibrary;
using test::makeSlide;
using test::parseLibrary;
using test::S;

std::vector<int32_t> offsetsOf(const std::string& library) {
  std::vector<int32_t> offsets;
  for (const auto& slide : parseLibrary(library)) offsets.push_back(slide.offset);
  return offsets;
}

std::vector<std::string> namesOf(const std::string& library) {
  std::vector<std::string> names;
  for (const auto& slide : parseLibrary(library)) names.push_back(slide.name);
  return names;
}

class SlbeditTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    zc::setEcho(false);
  }
  static test::HandlerResult run(const std::vector<zc::HostValue>& args) {
    return test::callHandler(Slbedit, args);
  }
  // The three-slide library of the worked example: 100, 50 and 100 bytes.
  static void writeExample() {
    test::writeFile("lib.slb", makeLibrary({{"S1", makeSlide(100, '1')},
                                            {"s2", makeSlide(50, '2')},
                                            {"S3", makeSlide(100, '3')}}));
  }
};

// Two processes editing one library take turns: none loses the other's
// slides.
TEST_F(SlbeditTest, TwoProcessesAddingToOneLibraryKeepEverySlide) {
  test::writeFile("shared.slb", makeLibrary({{"FIRST", makeSlide(50)}}));
  std::vector<std::unique_ptr<test::ChildProcess>> editors;
  for (int w = 0; w < 2; ++w) {
    std::string script;
    for (int i = 0; i < 40; ++i) {
      const std::string name = "s" + std::to_string(w) + "_" + std::to_string(i);
      test::writeFile(name + ".sld", makeSlide(100 + i, static_cast<char>('a' + w)));
      script += "(Slbedit \"a\" \"shared\" \"" + name + "\")\n";
    }
    const std::string file = "editor" + std::to_string(w) + ".lsp";
    test::writeFile(file, script);
    editors.push_back(std::make_unique<test::ChildProcess>(
        std::vector<std::string>{test::zchostPath(), "-l", "vetrix", file}));
  }
  for (auto& editor : editors) EXPECT_EQ(editor->wait(), 0);
  EXPECT_EQ(parseLibrary(test::readFile("shared.slb")).size(), 81u);
}

TEST_F(SlbeditTest, WritersFollowTheWorkedExample) {
  writeExample();
  EXPECT_EQ(offsetsOf(test::readFile("lib.slb")), (std::vector<int32_t>{176, 276, 326}));

  test::writeFile("s4.sld", makeSlide(60, '4'));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"s4")}).status, 1);
  std::string lib = test::readFile("lib.slb");
  EXPECT_EQ(offsetsOf(lib), (std::vector<int32_t>{212, 312, 362, 462}));
  EXPECT_EQ(lib.size(), 522u);
  EXPECT_EQ(namesOf(lib).back(), "S4");

  writeExample();
  test::writeFile("S2.sld", makeSlide(70, 'n'));
  test::HandlerResult replaced = run({S(u"A"), S(u"lib"), S(u"S2")});
  EXPECT_EQ(replaced.status, 1);
  EXPECT_EQ(replaced.printed, u"\nSLBEDIT ADD SLB SUCCESS !");
  lib = test::readFile("lib.slb");
  EXPECT_EQ(offsetsOf(lib), (std::vector<int32_t>{176, 276, 346}));
  EXPECT_EQ(lib.size(), 446u);
  EXPECT_EQ(namesOf(lib), (std::vector<std::string>{"S1", "s2", "S3"}));  // stored name kept
  EXPECT_EQ(parseLibrary(lib)[1].data, makeSlide(70, 'n'));

  writeExample();
  test::HandlerResult removed = run({S(u"d"), S(u"lib"), S(u"S2")});
  EXPECT_EQ(removed.status, 1);
  EXPECT_EQ(removed.printed, u"");
  lib = test::readFile("lib.slb");
  EXPECT_EQ(offsetsOf(lib), (std::vector<int32_t>{140, 240}));
  EXPECT_EQ(lib.size(), 340u);
  EXPECT_EQ(parseLibrary(lib)[1].data, makeSlide(100, '3'));
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"S2.sld", "lib.slb", "s4.sld"}));
}

TEST_F(SlbeditTest, MissingLibraryIsCreatedHoldingTheSlideToAdd) {
  {
    test::writeFile("abc.sld", makeSlide(40));
    test::HandlerResult r = run({S(u"a"), S(u"lib"), S(u"abc")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.printed, u"\nMake New SLB File: lib.slb");
    const std::string lib = test::readFile("lib.slb");
    EXPECT_EQ(lib.size(), 104u + 40u);
    ASSERT_EQ(parseLibrary(lib).size(), 1u);
    EXPECT_EQ(parseLibrary(lib)[0].name, "abc");
    EXPECT_EQ(parseLibrary(lib)[0].offset, 104);
  }
}

// A new library appears only complete: a missing slide leaves nothing.
TEST_F(SlbeditTest, MissingLibraryAndMissingSlideLeaveNothing) {
  test::HandlerResult r = run({S(u"a"), S(u"lib"), S(u"abc")});
  EXPECT_EQ(r.status, kRtError);
  EXPECT_EQ(r.printed, u"\nFile not exist:abc.sld\nFile [abc.sld] Open Error !");
  r = run({S(u"l"), S(u"lib")});
  EXPECT_EQ(r.status, kRtError);
  EXPECT_EQ(r.printed, u"\nFile not exist:.sld\nFile [.sld] Open Error !");
  EXPECT_EQ(test::filesHere(), std::vector<std::string>{});
}

TEST_F(SlbeditTest, EmptyLibrariesListAddAndDelete) {
  for (size_t length : {32u, 68u}) {
    std::string empty = makeLibrary({});  // 68 bytes: header and terminator
    empty.resize(length);
    test::writeFile("lib.slb", empty);
    EXPECT_EQ(run({S(u"l"), S(u"lib")}).printed, u"\n< List sld file > :\n");
    test::HandlerResult missing = run({S(u"d"), S(u"lib"), S(u"x")});
    EXPECT_EQ(missing.printed, u"\nNot found SLD:x.sld");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(test::readFile("lib.slb"), empty);
    test::writeFile("x.sld", makeSlide(20));
    EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"x")}).status, 1);
    const std::string lib = test::readFile("lib.slb");
    ASSERT_EQ(parseLibrary(lib).size(), 1u);
    EXPECT_EQ(parseLibrary(lib)[0].offset, 104);
    EXPECT_EQ(lib.size(), 104u + makeSlide(20).size());
  }
}

TEST_F(SlbeditTest, DeletingTheLastSlideLeavesHeaderAndTerminator) {
  test::writeFile("lib.slb", makeLibrary({{"ONLY", makeSlide(30)}}));
  EXPECT_EQ(run({S(u"d"), S(u"lib"), S(u"only")}).status, 1);
  EXPECT_EQ(test::readFile("lib.slb"), makeLibrary({}));
}

TEST_F(SlbeditTest, BadArgumentsAreRefusedSilentlyWithoutTouchingFiles) {
  const std::vector<std::vector<zc::HostValue>> cases = {
      {},
      {I(1), S(u"lib")},
      {S(u"ll"), S(u"lib")},
      {S(u""), S(u"lib")},
      {S(u"l")},
      {S(u"l"), I(3)},
      {S(u"a"), S(u"lib")},
      {S(u"a"), S(u"lib"), I(4)},
      {S(u"d"), I(2), S(u"x")},
  };
  for (const auto& args : cases) {
    test::HandlerResult r = run(args);
    EXPECT_EQ(r.status, kRtError);
    EXPECT_EQ(r.printed, u"");
  }
  EXPECT_TRUE(test::filesHere().empty());
}

TEST_F(SlbeditTest, UnknownCommandPrintsUsage) {
  test::HandlerResult r = run({S(u"x"), S(u"lib")});
  EXPECT_EQ(r.status, kRtError);
  EXPECT_EQ(r.printed,
            u"\n SLBEDIT - slide library editor for AutoCAD slide libraries\n"
            u"\n Lists, adds and deletes the slides of a library"
            u"\n -----------------------------------------------------\n"
            u"\n Usage : SLBEDIT <command> <*.slb> <*.sld>\n\n <Commands>"
            u"\n  l: list all slide in Library\n  a: add a slide file to Library"
            u"\n  d: delete a slide file from Library");
  EXPECT_TRUE(test::filesHere().empty());
}

// Outcomes of the engine that the disk cannot be made to produce here.
// Failures of the disk, made on a MemEnv: each is said in full, and the
// library stays as it was (or is not made).
TEST_F(SlbeditTest, FailuresOfTheDiskAreReportedInFull) {
  struct Case {
    const char16_t* command;
    const char* operation;
    const char16_t* library;
    std::u16string printed;
  };
  const Case cases[] = {
      {u"a", "create", u"sub\\lib",
       u"\nOPEN Temp FILE ERROR: sub\\~lib.slb.XXXXXX.tmp\nSLB FILE NOT CHANGED: sub\\lib.slb"},
      {u"a", "rename", u"sub\\lib", u"\nSLB FILE NOT CHANGED: sub\\lib.slb"},
      {u"a", "write", u"sub\\lib", u"\nSLB FILE NOT CHANGED: sub\\lib.slb"},
      {u"a", "open", u"sub\\lib", u"\nOPEN SLB FILE ERROR: sub\\lib.slb"},
      {u"a", "lock name", u"sub\\lib", u"\nSLB FILE NOT CHANGED: sub\\lib.slb"},
      {u"l", "open", u"sub\\lib", u"\nOPEN SLB FILE ERROR: sub\\lib.slb"},
      {u"a", "rename", u"sub\\new", u"\nSLB FILE NOT CHANGED: sub\\new.slb"},
  };
  const std::string library = makeLibrary({{"A", makeSlide(40)}});
  for (const Case& c : cases) {
    platform::MemEnv disk;
    disk.addDirectory(u"sub");
    disk.addFile(u"sub\\lib.slb", library);
    disk.addFile(u"abc.sld", makeSlide(60));
    test::FaultyEnv env(&disk);
    setHandlerEnv(&env);
    env.failFirst(c.operation, test::Fault::kIoError);
    test::HandlerResult r = run({S(c.command), S(c.library), S(u"abc")});
    setHandlerEnv(nullptr);
    EXPECT_EQ(r.status, kRtError) << c.operation;
    EXPECT_EQ(r.printed, c.printed) << c.operation;
    EXPECT_TRUE(disk.contents(u"sub\\lib.slb") == library) << c.operation;
    EXPECT_EQ(disk.files().size(), 2u) << c.operation;
  }
}

TEST_F(SlbeditTest, LibraryNameAlwaysGetsTheExtension) {
  test::writeFile("lib.slb.slb", makeLibrary({{"A", makeSlide(20)}}));
  EXPECT_EQ(run({S(u"L"), S(u"lib.slb"), I(5)}).printed, u"\n< List sld file > :\nA         ");
}

TEST_F(SlbeditTest, ListingPutsEightNamesOnALine) {
  std::vector<std::pair<std::string, std::string>> slides;
  for (int i = 1; i <= 9; ++i) slides.push_back({"N" + std::to_string(i), makeSlide(14)});
  slides[1].first = "TENLETTERS";
  test::writeFile("nine.slb", makeLibrary(slides));
  EXPECT_EQ(run({S(u"l"), S(u"nine")}).printed,
            u"\n< List sld file > :\nN1        TENLETTERSN3        N4        N5        N6        "
            u"N7        N8        \nN9        ");
  slides.pop_back();
  test::writeFile("eight.slb", makeLibrary(slides));
  EXPECT_EQ(run({S(u"l"), S(u"eight")}).printed.back(), u'\n');
}

TEST_F(SlbeditTest, DuplicateNamesAddReplacesTheLastAndDeleteRemovesTheFirst) {
  test::writeFile("lib.slb", makeLibrary({{"DUP", makeSlide(20, 'a')},
                                          {"MID", makeSlide(20, 'b')},
                                          {"DUP", makeSlide(20, 'c')}}));
  test::writeFile("dup.sld", makeSlide(25, 'z'));
  run({S(u"a"), S(u"lib"), S(u"dup")});
  std::vector<test::LibrarySlide> slides = parseLibrary(test::readFile("lib.slb"));
  ASSERT_EQ(slides.size(), 3u);
  EXPECT_EQ(slides[0].data, makeSlide(20, 'a'));
  EXPECT_EQ(slides[2].data, makeSlide(25, 'z'));
  run({S(u"d"), S(u"lib"), S(u"dup")});
  slides = parseLibrary(test::readFile("lib.slb"));
  ASSERT_EQ(slides.size(), 2u);
  EXPECT_EQ(slides[0].name, "MID");
  EXPECT_EQ(slides[1].data, makeSlide(25, 'z'));
}

TEST_F(SlbeditTest, DeleteComparesTheWholeName) {
  const std::string original = makeLibrary({{"ABCDEFGH", makeSlide(20)}});
  test::writeFile("lib.slb", original);
  test::HandlerResult r = run({S(u"d"), S(u"lib"), S(u"ABCDEFGHX")});
  EXPECT_EQ(r.printed, u"\nNot found SLD:ABCDEFGHX.sld");
  EXPECT_EQ(test::readFile("lib.slb"), original);
  EXPECT_EQ(test::filesHere(), std::vector<std::string>{"lib.slb"});
}

TEST_F(SlbeditTest, ChineseNamesDifferingInATrailByteStayApart) {
  test::ScopedCodePage cp(test::chineseCodePage());
  ASSERT_TRUE(cp.active());
  // Two Big5 characters with the same lead byte whose trail bytes are 'a' and
  // 'A'.
  const std::u16string first = platform::fromAnsi("\xA4\x61");
  const std::u16string second = platform::fromAnsi("\xA4\x41");
  ASSERT_NE(first, second);
  test::writeFile(test::utf8(first) + ".sld", makeSlide(20, '1'));
  test::writeFile(test::utf8(second) + ".sld", makeSlide(20, '2'));
  run({S(u"a"), S(u"lib"), S(first)});
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(second)}).status, 1);
  EXPECT_EQ(namesOf(test::readFile("lib.slb")), (std::vector<std::string>{"\xA4\x61", "\xA4\x41"}));
}

TEST_F(SlbeditTest, SlideArgumentWithAFolderStoresTheUpperCaseName) {
  fs::create_directory("sub");
  test::writeFile("sub/abc.sld", makeSlide(20));
  test::writeFile("lib.slb", makeLibrary({{"OLD", makeSlide(20)}}));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"C:sub\\abc")}).status, 1);
  EXPECT_EQ(namesOf(test::readFile("lib.slb")), (std::vector<std::string>{"OLD", "ABC"}));
}

// Names are stored as typed, upper-cased by the C locale (ASCII letters
// only, as names are compared), so a name beyond ASCII is found again.
TEST_F(SlbeditTest, NamesBeyondAsciiAreAddedReplacedAndDeleted) {
  struct Case {
    const char* codePage;
    std::u16string name;
  };
  const Case cases[] = {{"950", u"φ20"},
                        {"950", u"ａｂｃ"},
                        {"936", u"零件ａ"},
                        {"1252", u"übersicht"},
                        {"65001", u"⌀20 中"}};
  for (const Case& c : cases) {
    test::ScopedCodePage cp(c.codePage);
    if (!cp.active()) continue;  // Windows: the system's code page only
    SCOPED_TRACE(test::utf8(c.name) + " under " + c.codePage);
    fs::remove("lib.slb");
    test::writeFile(test::utf8(c.name) + ".sld", makeSlide(20, '1'));
    ASSERT_EQ(run({S(u"a"), S(u"lib"), S(c.name)}).status, 1);
    EXPECT_EQ(namesOf(test::readFile("lib.slb")),
              std::vector<std::string>{platform::toAnsi(c.name)});
    test::writeFile(test::utf8(c.name) + ".sld", makeSlide(30, '2'));
    EXPECT_EQ(run({S(u"a"), S(u"lib"), S(c.name)}).printed, u"\nSLBEDIT ADD SLB SUCCESS !");
    ASSERT_EQ(parseLibrary(test::readFile("lib.slb")).size(), 1u);
    EXPECT_EQ(parseLibrary(test::readFile("lib.slb"))[0].data, makeSlide(30, '2'));
    EXPECT_EQ(run({S(u"d"), S(u"lib"), S(c.name)}).printed, u"");
    EXPECT_EQ(test::readFile("lib.slb"), makeLibrary({}));
  }
}

// A name that cannot be stored is refused before any file is made: empty,
// not held exactly by the code page (two names would become one), too long.
TEST_F(SlbeditTest, NamesThatCannotBeStoredAreRefusedBeforeAnyFileIsMade) {
  struct Case {
    const char* codePage;
    std::u16string name, printed;
  };
  const std::u16string tooLong(32, u'n');
  const Case cases[] = {
      {"950", u"图1", u"\nSLD NAME NOT IN ANSI CODE PAGE 950: 图1.sld"},
      {"950", u"café", u"\nSLD NAME NOT IN ANSI CODE PAGE 950: café.sld"},
      {"936", u"ก1", u"\nSLD NAME NOT IN ANSI CODE PAGE 936: ก1.sld"},
      {"1252", u"中", u"\nSLD NAME NOT IN ANSI CODE PAGE 1252: 中.sld"},
      {nullptr, u"", u"\nSLD NAME EMPTY: .sld"},
      {nullptr, u"sub\\", u"\nSLD NAME EMPTY: sub\\.sld"},
      {nullptr, tooLong, u"\nSLD NAME TOO LONG (max 31 bytes): " + tooLong + u".sld"},
  };
  for (const Case& c : cases) {
    test::ScopedCodePage cp(c.codePage);
    if (c.codePage && !cp.active()) continue;
    for (const char16_t* command : {u"a", u"d"}) {
      SCOPED_TRACE(test::utf8(c.name) + " " + test::utf8(command));
      test::HandlerResult r = run({S(command), S(u"lib"), S(c.name)});
      EXPECT_EQ(r.status, kRtError);
      EXPECT_EQ(r.printed, c.printed);
      EXPECT_TRUE(test::filesHere().empty());
    }
  }
  const std::u16string fits(31, u'n');
  test::writeFile(test::utf8(fits) + ".sld", makeSlide(20));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(fits)}).status, 1);
}

TEST_F(SlbeditTest, NonSlidesAreRefusedAndTheLibraryStaysAsItWas) {
  writeExample();
  const std::string original = test::readFile("lib.slb");
  // Only a whole slide goes in: not a near miss of the magic, a library
  // (which begins "AutoCAD Slide" too), a bare header, a slide cut short or
  // one with bytes after its end mark.
  const std::string whole = makeSlide(41);
  for (const std::string& fake :
       {std::string("AutoCAD Slid"), makeLibrary({{"A", whole}}), whole.substr(0, 31),
        whole.substr(0, whole.size() - 2), whole + "x"}) {
    test::writeFile("fake.sld", fake);
    test::HandlerResult r = run({S(u"a"), S(u"lib"), S(u"fake")});
    EXPECT_EQ(r.status, kRtError);
    EXPECT_EQ(r.printed, u"\nThis is not a SLD file\nFile [fake.sld] Open Error !");
    EXPECT_EQ(test::readFile("lib.slb"), original);
  }
  // Deleting from a library that is not there makes none.
  EXPECT_EQ(run({S(u"d"), S(u"typo"), S(u"desk")}).status, kRtError);
  EXPECT_FALSE(fs::exists("typo.slb"));
}

TEST_F(SlbeditTest, DamagedLibrariesAreRefusedAndNeverRewritten) {
  const std::string good = makeLibrary({{"A", makeSlide(20)}, {"B", makeSlide(30)}});
  auto withByte = [&](size_t at, char value) {
    std::string bad = good;
    bad[at] = value;
    return bad;
  };
  std::string unterminated = good;
  std::fill(unterminated.begin() + 32, unterminated.begin() + 64, 'N');
  std::string headerPadding = good;
  headerPadding[29] = 'x';  // bytes 28-31 are not compared
  const std::vector<std::pair<std::string, bool>> cases = {
      {good.substr(0, 27), false},                // shorter than the compared header
      {withByte(3, 'x'), false},                  // not the header text
      {good.substr(0, 50), false},                // directory cut short
      {withByte(32 + 32, 105), false},            // first offset not behind a whole directory
      {withByte(32 + 32, 68), false},             // first offset inside the header
      {withByte(32 + 36 + 32 + 1, 0x10), false},  // second offset past the end
      {withByte(32 + 36 + 32, 1), false},         // offsets decrease
      {unterminated, false},
      {withByte(32 + 72, 'Z'), false},     // a name in the terminating entry
      {withByte(32 + 72 + 32, 1), false},  // an offset in it
      {makeLibrary({}) + "junk", false},
      {makeLibrary({{"A", makeSlide(20)}, {"", makeSlide(20)}}), false},  // an empty name
      {good.substr(0, 140 + makeSlide(20).size()), true},  // the second slide is empty
      {headerPadding, true},
  };
  test::writeFile("x.sld", makeSlide(20));
  for (const auto& [bytes, valid] : cases) {
    test::writeFile("lib.slb", bytes);
    for (const char16_t* command : {u"l", u"a", u"d"}) {
      test::HandlerResult r = run({S(command), S(u"lib"), S(u"x")});
      if (!valid) {
        EXPECT_EQ(r.status, kRtError);
        EXPECT_EQ(r.printed, u"\nThis is not a SLB file\nOPEN SLB FILE ERROR: lib.slb");
        EXPECT_EQ(test::readFile("lib.slb"), bytes);
      } else {
        EXPECT_EQ(r.status, 1) << test::utf8(command);
      }
    }
  }
}

// Libraries grow past the 250 slides older tools stopped at.
TEST_F(SlbeditTest, LibrariesGrowPastTwoHundredFiftySlides) {
  std::vector<std::pair<std::string, std::string>> slides;
  for (int i = 0; i < 300; ++i) slides.push_back({"S" + std::to_string(i), makeSlide(14)});
  test::writeFile("lib.slb", makeLibrary(slides));
  test::writeFile("new.sld", makeSlide(20));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"new")}).status, 1);
  test::writeFile("s7.sld", makeSlide(20, 'r'));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"s7")}).status, 1);
  const std::vector<test::LibrarySlide> grown = parseLibrary(test::readFile("lib.slb"));
  ASSERT_EQ(grown.size(), 301u);
  EXPECT_EQ(grown[7].data, makeSlide(20, 'r'));
  EXPECT_EQ(grown[300].data, makeSlide(20));
  EXPECT_NE(run({S(u"l"), S(u"lib")}).printed.find(u"NEW"), std::u16string::npos);
  EXPECT_EQ(run({S(u"d"), S(u"lib"), S(u"S255")}).status, 1);
  EXPECT_EQ(parseLibrary(test::readFile("lib.slb")).size(), 300u);
}

#if !defined(_WIN32)
// Windows keeps attributes, not permission bits.
TEST_F(SlbeditTest, ReplaceKeepsTheLibrarysPermissionBitsOnPosix) {
  writeExample();
  fs::permissions("lib.slb", fs::perms::owner_read | fs::perms::owner_write);
  test::writeFile("s1.sld", makeSlide(10));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"s1")}).status, 1);
  EXPECT_EQ(fs::status("lib.slb").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}
#endif

// Libraries kept in a shared folder and reached through links: the edit
// reaches the library itself, and every name of it sees the edit.
TEST_F(SlbeditTest, ALinkedLibraryIsEditedWhereItLives) {
  fs::create_directory("shared");
  test::writeFile("shared/lib.slb", makeLibrary({{"A", makeSlide(20)}}));
  fs::create_hard_link("shared/lib.slb", "shared/other.slb");
#if !defined(_WIN32)
  fs::create_symlink("shared/lib.slb", "lib.slb");  // Windows links need privileges
#else
  fs::create_hard_link("shared/lib.slb", "lib.slb");
#endif
  test::writeFile("b.sld", makeSlide(30));
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"b")}).printed, u"\nSLBEDIT ADD SLB SUCCESS !");
  EXPECT_EQ(run({S(u"d"), S(u"lib"), S(u"a")}).printed, u"");
  for (const char* name : {"lib.slb", "shared/lib.slb", "shared/other.slb"}) {
    EXPECT_EQ(namesOf(test::readFile(name)), std::vector<std::string>{"B"}) << name;
  }
#if !defined(_WIN32)
  EXPECT_TRUE(fs::is_symlink("lib.slb"));
#endif
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"b.sld", "lib.slb", "shared"}));
  EXPECT_EQ(std::distance(fs::directory_iterator("shared"), fs::directory_iterator()), 2);
}

#if defined(_WIN32)
// Another program reading the library, as a viewer does, holds it open
// without letting it be deleted: it cannot be replaced, only written over.
TEST_F(SlbeditTest, ALibraryAnotherProgramReadsIsStillEdited) {
  test::writeFile("lib.slb", makeLibrary({{"A", makeSlide(20)}}));
  test::writeFile("b.sld", makeSlide(30));
  HANDLE reader = CreateFileW(L"lib.slb", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(run({S(u"a"), S(u"lib"), S(u"b")}).printed, u"\nSLBEDIT ADD SLB SUCCESS !");
  CloseHandle(reader);
  EXPECT_EQ(namesOf(test::readFile("lib.slb")), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"b.sld", "lib.slb"}));
}
#endif

// The real libraries of public CAD projects: every slide is listed and
// survives a delete and an add.
class RealLibrariesTest : public SlbeditTest {};

TEST_F(RealLibrariesTest, EveryLibraryListsAndRoundTripsEachSlide) {
  const fs::path data = test::testDataDir() / "slides";
  int libraries = 0;
  for (const auto& entry : fs::directory_iterator(data)) {
    if (entry.path().extension() != ".slb") continue;
    ++libraries;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string original = test::readPath(entry.path());
    test::writeFile("lib.slb", original);
    std::vector<test::LibrarySlide> slides = parseLibrary(original);
    ASSERT_FALSE(slides.empty());
    std::u16string listed = run({S(u"l"), S(u"lib")}).printed;
    for (const auto& slide : slides) {
      EXPECT_NE(listed.find(platform::fromAnsi(slide.name)), std::u16string::npos);
    }
    for (const auto& slide : slides) {
      test::writeFile(slide.name + ".sld", slide.data);
      ASSERT_EQ(run({S(u"d"), S(u"lib"), S(platform::fromAnsi(slide.name))}).status, 1);
      ASSERT_EQ(run({S(u"a"), S(u"lib"), S(platform::fromAnsi(slide.name))}).status, 1);
      fs::remove(slide.name + ".sld");
    }
    // Each slide went to the end once: the same slides, in the same order.
    std::vector<test::LibrarySlide> after = parseLibrary(test::readFile("lib.slb"));
    ASSERT_EQ(after.size(), slides.size());
    for (size_t i = 0; i < slides.size(); ++i) {
      EXPECT_EQ(after[i].name, slides[i].name);
      EXPECT_EQ(after[i].data, slides[i].data);
    }
  }
  EXPECT_EQ(libraries, 4);
}

TEST_F(RealLibrariesTest, RealSlidesAddToANewLibrary) {
  const fs::path data = test::testDataDir() / "slides";
  std::vector<std::string> added;
  for (const auto& entry : fs::directory_iterator(data)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".sld" && ext != ".SLD") continue;
    std::string stem = entry.path().stem().string();
    stem = stem.substr(stem.find("__") + 2);
    if (stem.size() > 31) continue;
    fs::copy_file(entry.path(), test::u8path(stem + ".sld"));
    ASSERT_EQ(run({S(u"a"), S(u"real"), S(platform::fromUtf8(stem))}).status, 1) << stem;
    added.push_back(stem);
  }
  std::vector<test::LibrarySlide> slides = parseLibrary(test::readFile("real.slb"));
  ASSERT_EQ(slides.size(), added.size());
  for (size_t i = 0; i < slides.size(); ++i) {
    EXPECT_EQ(slides[i].data, test::readFile(added[i] + ".sld"));
  }
}

}  // namespace
