// The slb command, as its users run it.
#include <filesystem>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "platform/coding.h"
#include "platform/text.h"
#include "support/process.h"
#include "support/slides.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test::makeLibrary;
using test::makeSlide;

test::ProcessResult slb(const std::vector<std::string>& args) {
  return test::runProgram("slb", args);
}

class SlbTest : public test::TempDirTest {
 protected:
  static std::string sample(const std::string& name) {
    return test::readPath(test::testDataDir() / "slides" / name);
  }
};

TEST_F(SlbTest, ListShowsEachSlidesPlaceFormatAndPicture) {
  test::writeFile("mylib.slb", sample("velisp__mylib.slb"));
  const test::ProcessResult r = slb({"list", "mylib.slb"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      r.out,
      "mylib.slb: 2 slides, 338 bytes\n"
      "   #  name             offset      size  format               picture\n"
      "   1  SLIDE1              140        69  new, little-endian   573x293, aspect 1.465\n"
      "   2  SLIDE2              209       129  new, little-endian   1973x992, aspect 1.990\n");
}

// Wide names keep the columns straight; --json says the same for programs;
// info describes one slide.
TEST_F(SlbTest, ListAlignsWideNamesAndSpeaksJson) {
  test::ScopedCodePage big5("950");
  if (!big5.active()) GTEST_SKIP() << "needs code page 950";
  test::writeFile("lib.slb", makeLibrary({{"\xA4\xA4\xA4\xE5", sample("velisp__slide_up.sld")},
                                          {"AB", sample("velisp__slide_dn.sld")}}));
  test::ProcessResult r = slb({"list", "lib.slb"});
  const size_t first = r.out.find("\xE4\xB8\xAD\xE6\x96\x87"), second = r.out.find("AB ");
  ASSERT_NE(second, std::string::npos);
  // 中文 takes four columns as AB plus two blanks do, so what follows lines up.
  EXPECT_EQ(r.out.substr(first + 6, 12), r.out.substr(second + 2 + 2, 12));
  r = slb({"list", "lib.slb", "--json"});
  EXPECT_NE(r.out.find("{\"index\": 1, \"name\": \"\xE4\xB8\xAD\xE6\x96\x87\", \"offset\": 140"),
            std::string::npos);
  r = slb({"check", "lib.slb", "--json"});
  EXPECT_EQ(r.out, "{\"file\": \"lib.slb\", \"problems\": []}\n");
  test::writeFile("kz.sld", sample("velisp__slide_kz.sld"));
  r = slb({"info", "kz.sld"});
  EXPECT_NE(r.out.find("1165 x 816 dots"), std::string::npos);
  EXPECT_NE(r.out.find("(34 solid fills)"), std::string::npos);
}

TEST_F(SlbTest, CheckReportsEveryProblemWithItsOffset) {
  std::string cut = sample("velisp__slide_kz.sld");
  cut.resize(cut.size() - 3);
  test::writeFile("lib.slb", makeLibrary({{"GOOD", sample("velisp__slide_up.sld")},
                                          {"CUT", cut},
                                          {"GOOD", sample("velisp__slide_dn.sld")}}));
  test::ProcessResult r = slb({"check", "lib.slb"});
  EXPECT_EQ(r.status, 1);
  // CUT begins at 481, behind the directory and the first slide; its last
  // fill's vertices begin at 1690 and its last record, cut, at 1714.
  EXPECT_EQ(r.out,
            "lib.slb:1714: slide CUT: a record cut short by the end of the slide\n"
            "lib.slb:1690: slide CUT: a solid fill that is never closed\n"
            "lib.slb:104: slide GOOD: a second slide of this name, which no reader finds\n");
  test::writeFile("good.sld", sample("lendres__CHAIR.SLD"));
  r = slb({"check", "good.sld"});
  EXPECT_EQ(r.out, "good.sld: a slide, no problems\n");
  EXPECT_EQ(r.status, 0);
}

// A file that is no library is checked as a slide: each problem with its
// offset in the file, as text and as JSON. (Under the sanitizers this also
// catches a problem written with a slide name that is no longer there.)
TEST_F(SlbTest, CheckReportsTheProblemsOfAFileThatIsNoLibrary) {
  std::string cut = sample("velisp__slide_kz.sld");
  cut.resize(cut.size() - 3);
  test::writeFile("cut.sld", cut);
  test::writeFile("junk.slb", "hello");
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"check", "cut.sld"},
       "cut.sld:1233: a record cut short by the end of the slide\n"
       "cut.sld:1209: a solid fill that is never closed\n"},
      {{"check", "cut.sld", "--json"},
       "{\"file\": \"cut.sld\", \"problems\": ["
       "{\"offset\": 1233, \"slide\": null, \"problem\": \"a record cut short by the end of the "
       "slide\"}, "
       "{\"offset\": 1209, \"slide\": null, \"problem\": \"a solid fill that is never "
       "closed\"}]}\n"},
      {{"check", "junk.slb"},
       "junk.slb:0: not a slide: it does not begin with \"AutoCAD Slide\"\n"},
  };
  for (const Case& c : cases) {
    const test::ProcessResult r = slb(c.args);
    EXPECT_EQ(r.status, 1) << c.args.back();
    EXPECT_EQ(r.out, c.out) << c.args.back();
  }
}

TEST_F(SlbTest, ExtractWritesSlidesByteForByteAndNeverOverANameUnlessForced) {
  const std::string library = sample("mnas__LINES.slb");
  test::writeFile("lines.slb", library);
  // The output folder is made, folders on the way included.
  test::ProcessResult r = slb({"extract", "lines.slb", "d_otv", "-o", "new/sub"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::readFile("new/sub/D_OTV.sld"), sample("mnas__D_OTV.sld"));
  fs::create_directory("out");
  r = slb({"extract", "lines.slb", "d_otv", "R_off", "-o", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::readFile("out/D_OTV.sld"), sample("mnas__D_OTV.sld"));
  EXPECT_TRUE(fs::exists("out/R_OFF.sld"));
  test::writeFile("out/D_OTV.sld", "mine");
  r = slb({"extract", "lines.slb", "--all", "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "slb: out/D_OTV.sld exists (--force writes over it)\n");
  EXPECT_EQ(test::readFile("out/D_OTV.sld"), "mine");
  EXPECT_FALSE(fs::exists("out/D_REZ.sld"));  // nothing was written
  EXPECT_EQ(slb({"extract", "lines.slb", "--all", "-o", "out", "--force"}).status, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 5);
  EXPECT_EQ(slb({"extract", "lines.slb", "NOPE"}).status, 1);
#if !defined(_WIN32)
  // A link in the output folder is never written through: its name is
  // taken, and --force puts the slide in the link's place.
  fs::create_directory("links");
  fs::create_symlink("../x", "links/D_OTV.sld");  // leads nowhere yet
  test::writeFile("kept.txt", "kept");
  fs::create_symlink("../kept.txt", "links/R_OFF.sld");
  EXPECT_EQ(slb({"extract", "lines.slb", "--all", "-o", "links"}).status, 1);
  EXPECT_EQ(slb({"extract", "lines.slb", "--all", "-o", "links", "--force"}).status, 0);
  EXPECT_FALSE(fs::exists("x"));
  EXPECT_EQ(test::readFile("kept.txt"), "kept");
  EXPECT_EQ(test::readFile("links/D_OTV.sld"), sample("mnas__D_OTV.sld"));
  EXPECT_FALSE(fs::is_symlink("links/R_OFF.sld"));
#endif
}

// --salvage takes the intact slides out of a library cut short, or with an
// entry that points outside it, and names the rest.
TEST_F(SlbTest, SalvageTakesTheIntactSlidesOutOfADamagedLibrary) {
  const std::string library = sample("mnas__LINES.slb");
  std::string bad = library.substr(0, library.size() - 300);  // R_OFF cut short
  bad.replace(32 + 36 + 32, 4, "\xff\xff\xff\x7f");           // D_CHAMF's offset
  test::writeFile("bad.slb", bad);
  const test::ProcessResult r = slb({"extract", "bad.slb", "--salvage", "-o", "saved"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "saved/D_REZ.sld\nsaved/D_OTV.sld\nsaved/D_OFF.sld\n");
  EXPECT_EQ(r.err,
            "slb: not saved: D_CHAMF: its offset 2147483647 is outside the library\n"
            "slb: not saved: R_OFF: a record cut short by the end of the slide\n");
  EXPECT_EQ(test::readFile("saved/D_OTV.sld"), sample("mnas__D_OTV.sld"));
  EXPECT_EQ(slb({"check", "saved/D_REZ.sld"}).status, 0);
}

// Two processes making the same new library take turns as editors do: the
// second adds its slide to the library the first made, never in its place.
TEST_F(SlbTest, TwoProcessesMakingOneLibraryKeepBothSlides) {
  test::writeFile("a.sld", makeSlide(300, 'a'));
  test::writeFile("b.sld", makeSlide(200, 'b'));
  for (int round = 0; round < 20; ++round) {
    fs::remove("new.slb");
    test::ChildProcess first({test::programPath("slb"), "add", "new.slb", "a.sld"});
    test::ChildProcess second({test::programPath("slb"), "add", "new.slb", "b.sld"});
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);
    EXPECT_EQ(test::parseLibrary(test::readFile("new.slb")).size(), 2u) << "round " << round;
  }
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"a.sld", "b.sld", "new.slb"}));
}

TEST_F(SlbTest, AddAndDeleteEditSeveralSlidesAtOnceOrNotAtAll) {
  for (const char* name : {"chair.sld", "TOILET.SLD", "up.sld"}) {
    test::writeFile(name, sample(std::string(name) == "up.sld" ? "velisp__slide_up.sld"
                                 : name[0] == 'c'              ? "lendres__CHAIR.SLD"
                                                               : "lendres__TOILET.SLD"));
  }
  EXPECT_EQ(slb({"add", "new.slb", "chair.sld", "TOILET.SLD", "up.sld"}).status, 0);
  EXPECT_EQ(test::parseLibrary(test::readFile("new.slb")).size(), 3u);
#if !defined(_WIN32)
  // A new library gets the mode a new file gets; an edited one keeps its own.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status("new.slb").permissions()), 0666 & ~mask);
  fs::permissions("new.slb", fs::perms(0640));
#endif
  // One missing slide, or one name not in the library: nothing changes.
  const std::string before = test::readFile("new.slb");
  test::ProcessResult r = slb({"add", "new.slb", "up.sld", "missing.sld"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "slb: cannot read missing.sld; nothing added\n");
  r = slb({"delete", "new.slb", "chair", "nope"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "slb: no slide \"NOPE\" in new.slb; nothing deleted\n");
  EXPECT_EQ(test::readFile("new.slb"), before);
  // Renamed in one edit; never onto a name that is there.
  r = slb({"rename", "new.slb", "toilet", "wc"});
  EXPECT_EQ(r.out, "new.slb: toilet is now WC\n");
  EXPECT_EQ(slb({"rename", "new.slb", "wc", "CHAIR"}).err,
            "slb: new.slb already has a slide \"CHAIR\"; nothing renamed\n");
  EXPECT_EQ(slb({"rename", "new.slb", "wc", std::string(32, 'n')}).status, 1);
  EXPECT_EQ(test::parseLibrary(test::readFile("new.slb"))[1].name, "WC");
  EXPECT_EQ(slb({"rename", "new.slb", "wc", "TOILET"}).status, 0);
  // A name given twice deletes one slide; counts read "1 slide".
  r = slb({"delete", "new.slb", "chair", "up", "UP"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "new.slb: slides deleted; 1 slide now\n");
  std::vector<test::LibrarySlide> left = test::parseLibrary(test::readFile("new.slb"));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].name, "TOILET");
  EXPECT_EQ(left[0].data, sample("lendres__TOILET.SLD"));
#if !defined(_WIN32)
  EXPECT_EQ(fs::status("new.slb").permissions(), fs::perms(0640));
#endif
  EXPECT_EQ(test::filesHere(),
            (std::vector<std::string>{"TOILET.SLD", "chair.sld", "new.slb", "up.sld"}));
}

// dump prints a library's slide as text, make makes it again; a faulty
// line is named, and neither leaves anything behind.
TEST_F(SlbTest, DumpAndMakeTakeASlideToTextAndBack) {
  test::writeFile("lines.slb", sample("mnas__LINES.slb"));
  test::ProcessResult r = slb({"dump", "lines.slb", "d_otv", "-o", "d_otv.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string text = test::readFile("d_otv.txt");
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "slide new little-endian 574x414 aspect 1.5229969 hardware-fill 2");
  EXPECT_EQ(slb({"make", "d_otv.txt", "-o", "d_otv.sld"}).status, 0);
  EXPECT_EQ(test::readFile("d_otv.sld"), sample("mnas__D_OTV.sld"));
  // A bad line, made on top of a slide that is there: the slide stays.
  text.insert(text.find("\ncolour") + 1, "colour 256\n");
  test::writeFile("bad.txt", text);
  r = slb({"make", "bad.txt", "-o", "d_otv.sld"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "slb: bad.txt:2: colour N: from 0 to 255; nothing written\n");
  EXPECT_EQ(test::readFile("d_otv.sld"), sample("mnas__D_OTV.sld"));
  // A slide with a problem has no text; the offset is the library's.
  std::string cut = sample("velisp__slide_kz.sld");
  cut.resize(cut.size() - 3);
  test::writeFile("cut.slb", makeLibrary({{"CUT", cut}}));
  r = slb({"dump", "cut.slb", "CUT", "-o", "cut.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "slb: cut.slb:1337: slide CUT: a record cut short by the end of the slide; no text "
            "would make it again\n");
  EXPECT_EQ(slb({"make", "d_otv.txt"}).status, 2);  // -o is needed
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"bad.txt", "cut.slb", "d_otv.sld",
                                                         "d_otv.txt", "lines.slb"}));
}

// A drawing's slide is written only when every entity is drawn (or
// --lenient), never from a drawing cut short, and goes into a library in
// one edit.
TEST_F(SlbTest, MakeDrawsDrawingsIntoSlidesAndLibraries) {
  const std::string entities =
      "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n5\n"
      "0\nCIRCLE\n8\n0\n10\n5\n20\n2\n40\n2\n";
  test::writeFile("plain.dxf", entities + "0\nENDSEC\n0\nEOF\n");
  test::writeFile("image.dxf", entities + "0\nIMAGE\n0\nIMAGE\n0\nENDSEC\n0\nEOF\n");
  test::writeFile("cut.dxf", entities);
  test::ProcessResult r = slb({"make", "image.dxf", "-o", "image.sld"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "slb: skipped: 2 IMAGE; nothing written (--lenient writes the slide without them)\n");
  r = slb({"make", "cut.dxf", "-o", "cut.sld"});
  EXPECT_EQ(r.err,
            "slb: cut.dxf:1: the section ENTITIES does not end (no 0 ENDSEC); nothing written\n");
  EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"cut.dxf", "image.dxf", "plain.dxf"}));
  r = slb(
      {"make", "image.dxf", "-o", "image.sld", "--lenient", "--width", "320", "--height", "200"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "slb: skipped: 2 IMAGE\n");
  EXPECT_EQ(slb({"check", "image.sld"}).status, 0);
  EXPECT_EQ(slb({"dump", "image.sld"}).out.substr(0, 50),
            "slide new little-endian 320x200 aspect 1.6030150 h");
  r = slb({"make", "plain.dxf", "image.dxf", "--add", "lib.slb", "--lenient"});
  EXPECT_EQ(r.out, "lib.slb: made, slides added; 2 slides now\n");
  r = slb({"make", "plain.dxf", "--add", "lib.slb", "Other"});
  EXPECT_EQ(r.out, "lib.slb: slides added; 3 slides now\n");
  const std::vector<test::LibrarySlide> slides = test::parseLibrary(test::readFile("lib.slb"));
  ASSERT_EQ(slides.size(), 3u);
  EXPECT_EQ(slides[0].name, "PLAIN");
  EXPECT_EQ(slides[1].name, "IMAGE");
  EXPECT_EQ(slides[2].name, "OTHER");
  EXPECT_EQ(slides[2].data, slides[0].data);
  // Text: in the stroke font (Debian's, or the copy beside slb.exe), and a
  // Chinese character from the system's fonts, else as '?': drawn either way.
  test::writeFile(
      "text.dxf",
      "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1024\n0\nENDSEC\n0\nSECTION\n2\n"
      "ENTITIES\n0\nTEXT\n10\n0\n20\n0\n40\n5\n1\n\xE4\xB8\xAD ok\n0\nENDSEC\n0\nEOF\n");
  r = slb({"make", "text.dxf", "-o", "text.sld"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST_F(SlbTest, SvgDrawsASlideOrALibrarysSlide) {
  test::writeFile("lines.slb", sample("mnas__LINES.slb"));
  test::writeFile("d_otv.sld", sample("mnas__D_OTV.sld"));
  const test::ProcessResult fromFile = slb({"svg", "d_otv.sld"});
  const test::ProcessResult fromLibrary = slb({"svg", "lines.slb", "D_OTV", "-o", "d.svg"});
  EXPECT_EQ(fromLibrary.status, 0);
  const std::string svg = test::readFile("d.svg");
  auto drawing = [](const std::string& text) { return text.substr(text.find("<g ")); };
  EXPECT_EQ(drawing(svg), drawing(fromFile.out));
  EXPECT_NE(svg.find("viewBox=\"0 0 574 414\""), std::string::npos);
  EXPECT_NE(svg.find("<title>D_OTV</title>"), std::string::npos);
  EXPECT_EQ(slb({"sheet", "lines.slb", "-o", "sheet.html"}).status, 0);
  const std::string sheet = test::readFile("sheet.html");
  for (const char* name : {"D_REZ", "D_CHAMF", "D_OTV", "D_OFF", "R_OFF"}) {
    EXPECT_NE(sheet.find(std::string("<figcaption>") + name), std::string::npos) << name;
  }
  EXPECT_EQ(sheet.find("http"), sheet.find("http://www.w3.org/2000/svg"));  // nothing to fetch
}

// Colour 0 fills are masks in the background colour, on either background.
TEST_F(SlbTest, ColourZeroIsTheBackground) {
  std::string slide = makeSlide(33);
  slide.resize(slide.size() - 2);  // the end mark comes last
  auto record = [&](char type, int x, int y) {
    slide += std::string{'\0', type};
    slide += std::string{static_cast<char>(x & 0xFF), static_cast<char>(x >> 8)};
    slide += std::string{static_cast<char>(y & 0xFF), static_cast<char>((y >> 8) & 0xFF)};
  };
  slide += std::string("\0\xFF", 2);  // colour 0
  record('\xFD', 0, -1);
  for (auto [x, y] : {std::pair{10, 10}, {90, 10}, {50, 90}}) record('\xFD', x, y);
  record('\xFD', 0, -1);
  slide += std::string("\0\xFC", 2);
  test::writeFile("mask.sld", slide);
  EXPECT_EQ(slb({"check", "mask.sld"}).status, 0);
  EXPECT_NE(slb({"svg", "mask.sld"})
                .out.find("<polygon vector-effect=\"non-scaling-stroke\" "
                          "fill=\"#000000\""),
            std::string::npos);
  EXPECT_NE(slb({"svg", "mask.sld", "--background", "white"})
                .out.find("<polygon vector-effect=\"non-scaling-stroke\" fill=\"#ffffff\""),
            std::string::npos);
}

// PNG: one slide to standard output, or every slide of a library into a
// folder it makes.
TEST_F(SlbTest, PngDrawsOneSlideOrAWholeLibrary) {
  test::writeFile("lines.slb", sample("mnas__LINES.slb"));
  const test::ProcessResult one = slb(
      {"png", "lines.slb", "d_otv", "--width", "120", "--background", "transparent", "-o", "-"});
  EXPECT_EQ(one.status, 0) << one.err;
  ASSERT_GE(one.out.size(), 24u);
  EXPECT_EQ(one.out.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(one.out.substr(16, 4), std::string("\0\0\0\x78", 4));  // 120 pixels wide
  EXPECT_EQ(slb({"png", "lines.slb", "--all", "-o", "pictures"}).status, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator("pictures"), fs::directory_iterator()), 5);
  // A damaged slide is named and left out; the others are drawn at the size
  // asked for, each named as it is written. The count of slides drawn is
  // for terminals only: standard error here holds the one message.
  const std::string up = sample("velisp__slide_up.sld");
  test::writeFile(
      "damaged.slb",
      makeLibrary({{"A", up}, {"B", up.substr(0, 12)}, {"C", sample("mnas__D_OTV.sld")}}));
  const test::ProcessResult all =
      slb({"png", "damaged.slb", "--all", "--size", "64", "-o", "drawn", "--quiet"});
  EXPECT_EQ(all.status, 1);
  EXPECT_EQ(all.out, "drawn/A.png\ndrawn/C.png\n");
  EXPECT_EQ(all.err.rfind("slb: not drawn: B: ", 0), 0u) << all.err;
  EXPECT_EQ(std::count(all.err.begin(), all.err.end(), '\n'), 1) << all.err;
  for (const char* name : {"drawn/A.png", "drawn/C.png"}) {
    const std::string png = test::readFile(name);
    ASSERT_GE(png.size(), 24u) << name;
    const auto side = [&](size_t at) {
      return (static_cast<unsigned char>(png[at + 2]) << 8) |
             static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(std::max(side(16), side(20)), 64) << name;
  }
  EXPECT_FALSE(fs::exists("drawn/B.png"));
}

// A library alone is a thumbnail to png (the thumbnailer's command): its
// first four slides, named, in a square. The commands that draw or describe
// one slide refuse it in one plain sentence.
TEST_F(SlbTest, ALibraryAloneIsAThumbnailOrOneSentence) {
  test::writeFile("lines.slb", sample("mnas__LINES.slb"));
  test::writeFile("empty.slb", makeLibrary({}));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // what standard error begins with
  } const cases[] = {
      {{"svg", "lines.slb"},
       1,
       "slb: lines.slb: not a slide: this is a slide library; use `slb svg LIB NAME`\n"},
      {{"info", "lines.slb"}, 1, "slb: lines.slb: not a slide: this is a slide library; use"},
      {{"png", "lines.slb", "--size", "128", "-o", "thumb.png"}, 0, ""},
      {{"png", "empty.slb", "-o", "none.png"}, 1, "slb: empty.slb: an empty library"},
  };
  for (const Case& c : cases) {
    const test::ProcessResult r = slb(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << ": " << r.err;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args[0] << " " << c.args[1];
  }
  const std::string png = test::readFile("thumb.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x80\0\0\0\x80", 8));  // 128 x 128
  EXPECT_FALSE(fs::exists("none.png"));
}

#if !defined(_WIN32)
TEST_F(SlbTest, OutputThatCannotBeWrittenIsAFailureOnPosix) {
  test::writeFile("lib.slb", makeLibrary({{"A", makeSlide(20)}}));
  const test::ProcessResult r = test::runProcess(
      {"/bin/bash", "-c", "'" + test::programPath("slb") + "' list lib.slb 2>&1 >/dev/full"});
  EXPECT_EQ(r.out, "slb: cannot write standard output: No space left on device\n");
  EXPECT_EQ(r.status, 1);
}
#endif

// What the files of a folder hold together.
uint64_t bytesIn(const std::string& folder) {
  uint64_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(folder)) bytes += entry.file_size();
  return bytes;
}

#if !defined(_WIN32)
// A slide's header: its dots, and its aspect ratio as stored (x 1e7).
std::string slideHeader(unsigned highX, unsigned highY, uint32_t aspect) {
  std::string header("AutoCAD Slide\r\n\x1a\0\x56\x02", 19);
  platform::putFixed16(&header, static_cast<uint16_t>(highX));
  platform::putFixed16(&header, static_cast<uint16_t>(highY));
  platform::putFixed32(&header, aspect);
  platform::putFixed16(&header, 2);
  platform::putFixed16(&header, 0x1234);
  return header;
}

// "WIDTHxHEIGHT" of a PNG, from its header.
std::string pngSize(const std::string& png) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return "no PNG";
  auto number = [&](size_t at) {
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i) n = n << 8 | static_cast<unsigned char>(png[at + i]);
    return std::to_string(n);
  };
  return number(16) + "x" + number(20);
}

// Whatever a file claims or however long it is, slb draws it in little memory
// or says why not: it is run here with 64 MiB of address space (none under
// the sanitizers, whose shadow memory alone takes more).
TEST_F(SlbTest, HostileFilesAreDrawnOrRefusedInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
  const std::string limit;
  const bool limited = false;
#else
  const std::string limit = "ulimit -v 65536; ";
  const bool limited = true;
#endif
  // Files of gigabytes that are holes but for their first bytes.
  auto sparse = [](const std::string& name, const std::string& start, uint64_t size) {
    test::writeFile(name, start);
    std::error_code error;
    fs::resize_file(name, size, error);
    struct stat st = {};
    return !error && ::stat(name.c_str(), &st) == 0 && st.st_blocks < 1 << 15;
  };
  const std::string library("AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0", 32);
  std::string holes = library + "A" + std::string(31, '\0');
  platform::putFixed32(&holes, 0x7FFFFF00);  // the directory would end near 2 GiB
  if (!sparse("huge.sld", slideHeader(100, 100, 10000000), 3ull << 30) ||
      !sparse("huge.slb", library, 3ull << 30) || !sparse("holes.slb", holes, 0x7FFFFFFF)) {
    GTEST_SKIP() << "this file system keeps no sparse files";
  }
  // A slide of 33 bytes that claims 32767 by 32767 dots (4 GiB as pixels),
  // and others with the extreme aspect ratios.
  const std::string end("\0\xFC", 2);
  test::writeFile("claims.sld", slideHeader(32766, 32766, 10000000) + end);
  test::writeFile("tall.sld", slideHeader(32766, 0, 1) + end);
  test::writeFile("wide.sld", slideHeader(0, 32766, 0xFFFFFFFF) + end);
  // 16 MB of real records: read whole, its shapes would take 20 times that.
  std::string records;
  for (const char* name : {"velisp__slide_kz.sld", "mnas__LOPATKA.sld", "lendres__TOILET.SLD"}) {
    const std::string slide = sample(name);
    records += slide.substr(31, slide.size() - 33);
  }
  std::string big = sample("velisp__slide_kz.sld").substr(0, 31);
  while (big.size() < (16 << 20)) big += records;
  test::writeFile("big.sld", big + end);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string found;  // the PNG's size, or what standard error says
  };
  std::vector<Case> cases = {
      {{"png", "claims.sld", "--size", "256"}, 0, "256x256"},
      {{"png", "claims.sld"}, 0, "1024x1024"},
      {{"png", "tall.sld"}, 0, "1x1024"},
      {{"png", "wide.sld", "--width", "16384"}, 0, "16384x38"},
      {{"png", "big.sld", "--size", "256"}, 0, "256x179"},
      {{"png", "huge.sld"}, 1, "huge.sld: 3221225472 bytes, more than a slide has (2 GiB at most)"},
      {{"check", "huge.sld"}, 1, ""},
      {{"list", "huge.slb"}, 1, "huge.slb:0: library larger than 2 GiB"},
      {{"extract", "holes.slb", "--salvage", "-o", "out"}, 1, "not saved: A: not a slide"},
      {{"list", "holes.slb"}, 1, "holes.slb:68: empty name"},
      {{"png", "holes.slb", "A"}, 1, "holes.slb:68: empty name"},
  };
  // The picture itself must fit: 1 GiB does not, and says so.
  if (limited) {
    cases.push_back({{"png", "claims.sld", "--width", "16384", "--height", "16384"},
                     1,
                     "cannot make a picture of 16384 x 16384 pixels: out of memory"});
  }
  for (const Case& c : cases) {
    std::string command = limit + "exec '" + test::programPath("slb") + "'";
    for (const std::string& arg : c.args) command += " '" + arg + "'";
    const test::ProcessResult r = test::runProcess({"/bin/bash", "-c", command});
    const std::string what = c.args[0] + " " + c.args[1];
    EXPECT_EQ(r.status, c.status) << what << ": " << r.err;
    if (c.status == 0) {
      EXPECT_EQ(pngSize(r.out), c.found) << what;
    } else {
      EXPECT_NE(r.err.find(c.found), std::string::npos) << what << ": " << r.err;
    }
  }
  // Slbedit reads a directory as slb does: no more than its entries hold.
  const test::ProcessResult r = test::runProcess(
      {"/bin/bash", "-c",
       limit + "exec '" + test::zchostPath() + "' -l vetrix -e '(Slbedit \"l\" \"holes\")'"});
  EXPECT_EQ(r.out, "\nThis is not a SLB file\nOPEN SLB FILE ERROR: holes.slb");
}
#endif

// Extracting writes each slide once, under a name that no other slide of the
// run takes and that a file may have; what is left out is named, and the
// exit status says so. What is written is never more than the library.
TEST_F(SlbTest, EachSlideIsWrittenOnceUnderANameOfItsOwn) {
  const std::string up = sample("velisp__slide_up.sld"), dn = sample("velisp__slide_dn.sld"),
                    kz = sample("velisp__slide_kz.sld");
  // 1,000 entries that point at one slide.
  std::string many("AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0", 32);
  for (int i = 0; i < 1000; ++i) {
    std::string name = "S" + std::to_string(i);
    name.resize(32, '\0');
    many += name;
    platform::putFixed32(&many, 32 + 36 * 1001);
  }
  many += std::string(36, '\0') + kz;
  const std::string devices =
      makeLibrary({{"CON", up}, {"GOOD", dn}, {"nul.x", up}, {"COM1", kz}, {"LPT9.SLD", dn}});
  struct Case {
    const char* what;
    std::string library;
    std::vector<std::string> options;
    std::vector<std::string> files;
    size_t refused;
  };
  const Case cases[] = {
      {"one slide under 1,000 names, salvaged", many, {"--salvage"}, {"S0.sld"}, 999},
      {"one slide under 1,000 names", many, {"--all"}, {"S0.sld"}, 999},
      {"names one letter case apart",
       makeLibrary({{"abc", up}, {"ABC", dn}, {"Abc", kz}}),
       {"--all", "--force"},
       {"abc.sld"},
       2},
      {"one slide asked for by two names",
       makeLibrary({{"abc", up}, {"ABC", dn}}),
       {"abc", "ABC"},
       {"abc.sld"},
       0},
      {"a damaged slide takes no name",
       makeLibrary({{"ABC", up.substr(0, 40)}, {"abc", up}}),
       {"--salvage"},
       {"abc.sld"},
       1},
      {"devices' names, salvaged", devices, {"--salvage"}, {"GOOD.sld"}, 4},
      {"devices' names", devices, {"--all"}, {"GOOD.sld"}, 4},
  };
  for (const Case& c : cases) {
    fs::remove_all("out");
    test::writeFile("lib.slb", c.library);
    std::vector<std::string> args = {"extract", "lib.slb"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"-o", "out"});
    const test::ProcessResult r = slb(args);
    EXPECT_EQ(r.status, c.refused ? 1 : 0) << c.what << ": " << r.err;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator("out")) {
      files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, c.files) << c.what;
    EXPECT_LE(bytesIn("out"), c.library.size()) << c.what;
    EXPECT_EQ(static_cast<size_t>(std::count(r.err.begin(), r.err.end(), '\n')), c.refused)
        << c.what << ": " << r.err;
  }
  // The first of the names one case apart keeps its slide.
  EXPECT_EQ(slb({"extract", "lib.slb", "--all", "-o", "first"}).status, 1);
  EXPECT_EQ(test::readFile("first/GOOD.sld"), dn);
  test::writeFile("lib.slb", makeLibrary({{"abc", up}, {"ABC", dn}}));
  const test::ProcessResult r = slb({"extract", "lib.slb", "--all", "-o", "case"});
  EXPECT_EQ(r.err, "slb: not extracted: ABC: the same file name as abc\n");
  EXPECT_EQ(test::readFile("case/abc.sld"), up);
}

// Names come from files: control characters and bidirectional formatting
// characters in them reach no terminal raw, JSON escapes them, and XML gets
// none it forbids.
TEST_F(SlbTest, NamesFromFilesAreEscapedForTerminalsJsonAndXml) {
  test::ScopedCodePage utf8("65001");
  if (!utf8.active()) GTEST_SKIP() << "needs code page 65001";
  const std::string up = sample("velisp__slide_up.sld");
  const std::string clear = "A\x1b[2J", reversed = "R\xE2\x80\xAEgpj.exe", c1 = "D\x7f\xC2\x9B";
  test::writeFile("lib.slb", makeLibrary({{clear, up}, {reversed, up.substr(0, 40)}, {c1, up}}));
  struct Case {
    std::vector<std::string> args;
    bool toError;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {{"list", "lib.slb"}, false, {"A\\x1b[2J ", "R\\u202egpj.exe", "D\\x7f\\u009b"}},
      {{"list", "lib.slb", "--json"},
       false,
       {"\"A\\u001b[2J\"", "\"R\\u202egpj.exe\"", "\"D\\u007f\\u009b\""}},
      {{"check", "lib.slb"}, false, {"slide R\\u202egpj.exe: a record cut short"}},
      {{"check", "lib.slb", "--json"}, false, {"\"slide\": \"R\\u202egpj.exe\""}},
      {{"extract", "lib.slb", "--all", "-o", "out"},
       true,
       {"not extracted: A\\x1b[2J: no file name", "not extracted: D\\x7f\\u009b: a name with"}},
      {{"svg", "lib.slb", clear}, false, {"<title>A\xEF\xBF\xBD[2J</title>"}},
      {{"sheet", "lib.slb"}, false, {"<figcaption>A\xEF\xBF\xBD[2J</figcaption>"}},
      {{"info", "x\x1b.sld"}, true, {"x\\x1b.sld"}},
  };
  for (const Case& c : cases) {
    const test::ProcessResult r = slb(c.args);
    const std::string& text = c.toError ? r.err : r.out;
    for (const std::string& shown : c.shown) {
      EXPECT_NE(text.find(shown), std::string::npos) << c.args[0] << ": " << text;
    }
    for (const std::string& raw : {std::string("\x1b"), std::string("\x7f"),
                                   std::string("\xC2\x9B"), std::string("\xE2\x80\xAE")}) {
      if (c.args[0] == "svg" || c.args[0] == "sheet") {
        if (raw != "\x1b") continue;  // XML takes the others
      }
      EXPECT_EQ(r.out.find(raw), std::string::npos) << c.args[0] << ": " << r.out;
      EXPECT_EQ(r.err.find(raw), std::string::npos) << c.args[0] << ": " << r.err;
    }
  }
  EXPECT_EQ(test::runZchost({"a\x1b[2J.lsp"}).err, "; error: cannot read a\\x1b[2J.lsp\n");
}

// The command line as GNU tools read it: --name=value, bundled letters, "--",
// "-" for standard input and output, one line and a hint for a usage
// error, help for a command.
TEST_F(SlbTest, CommandLinesReadAsGnuToolsDo) {
  test::writeFile("lib.slb", makeLibrary({{"A", makeSlide(20)}, {"-B", makeSlide(30)}}));
  struct Case {
    std::vector<std::string> args;
    bool libraryOnInput;
    int status;
    std::string out;  // a part of standard output
  };
  const Case cases[] = {
      {{}, false, 2, ""},
      {{"frobnicate"}, false, 2, ""},
      {{"list"}, false, 2, ""},
      {{"extract", "x.slb"}, false, 2, ""},
      {{"svg"}, false, 2, ""},
      {{"--codepage", "12345", "list", "x"}, false, 2, ""},
      {{"--codepage=4294968246", "list", "x"}, false, 2, ""},
      {{"list", "--json=yes", "lib.slb"}, false, 2, ""},
      {{"list", "--frobnicate", "lib.slb"}, false, 2, ""},
      {{"add", "lib.slb", "--force"}, false, 2, ""},
      {{"extract", "lib.slb", "--all", "-o", "-"}, false, 2, ""},
      {{"list", "missing.slb"}, false, 1, ""},
      // (the code page in use: Windows refuses any other)
      {{"--codepage=" + std::to_string(platform::ansiCodePage()), "list", "--json", "lib.slb"},
       false,
       0,
       "\"-B\""},
      {{"list", "-"}, true, 0, "-: 2 slides"},
      {{"check", "-"}, true, 0, ""},
      {{"svg", "--background=transparent", "-", "A"}, true, 0, "fill=\"none\"/>"},
      {{"svg", "-o-", "--width=32", "lib.slb", "A"}, false, 0, "width=\"32\""},
      {{"extract", "-ofolder", "--", "lib.slb", "-B"}, false, 0, "folder/-B.sld"},
      {{"help", "extract"}, false, 0, "slb extract LIB --salvage"},
      {{"delete", "--help"}, false, 0, "slb delete LIB NAME"},
      {{"--version"}, false, 0, "slb "},
  };
  for (const Case& c : cases) {
    const std::string what = c.args.empty() ? "" : c.args.back();
    const test::ProcessResult r = test::runProgram(
        "slb", c.args, c.libraryOnInput ? test::readFile("lib.slb") : std::string());
    EXPECT_EQ(r.status, c.status) << what << ": " << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << what;
    if (c.status == 2) {  // one line saying what is wrong, and where help is
      EXPECT_TRUE(r.out.empty()) << what;
      EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), "Try 'slb --help' for more information.\n")
          << what;
    }
  }
  EXPECT_TRUE(fs::exists("folder/-B.sld"));
#if !defined(_WIN32)
  // A reader that went away ends slb quietly, as SIGPIPE ends cat.
  const test::ProcessResult r =
      test::runProcess({"/bin/bash", "-c",
                        "{ sleep 0.3; '" + test::programPath("slb") +
                            "' list lib.slb 2>&1; } | true; echo \"${PIPESTATUS[0]}\""});
  EXPECT_EQ(r.out, "141\n");
  // No picture to a terminal (script gives slb one) unless -o - asks for it.
  const test::ProcessResult toTerminal = test::runProcess(
      {"/usr/bin/script", "-qec", "'" + test::programPath("slb") + "' png lib.slb A", "/dev/null"});
  EXPECT_EQ(toTerminal.status, 2);
  EXPECT_EQ(toTerminal.out.find("PNG"), std::string::npos);
#endif
}

}  // namespace
