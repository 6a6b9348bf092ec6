// Reading slides: the real samples, the other header formats and byte
// orders, and damaged slides with the offsets of their problems; slides as
// text and back.
#include <filesystem>

#include "platform/coding.h"
#include "support/mem_env.h"
#include "support/slides.h"
#include "support/test_support.h"
#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_text.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> sampleSlides() {
  std::vector<std::string> slides;
  for (const auto& entry : fs::directory_iterator(test::testDataDir() / "slides")) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".sld" || ext == ".SLD") slides.push_back(test::readPath(entry.path()));
  }
  return slides;
}

// The same slide as a big-endian writer would have written it: every
// 2-byte field and record word swapped (the aspect ratio stays as it is).
std::string bigEndian(const std::string& slide) {
  std::string out = slide;
  auto swap = [&](size_t at) { std::swap(out[at], out[at + 1]); };
  for (size_t at : {19, 21, 27, 29}) swap(at);
  size_t at = kNewSlideHeaderSize;
  while (at + 2 <= slide.size()) {
    const unsigned type = static_cast<unsigned char>(slide[at + 1]);
    swap(at);
    const size_t length = type <= 0x7F   ? 8
                          : type == 0xFB ? 5
                          : type == 0xFD ? 6
                          : type == 0xFE ? 3
                                         : 2;
    if (type <= 0x7F) swap(at + 2), swap(at + 4), swap(at + 6);
    if (type == 0xFD) swap(at + 2), swap(at + 4);
    at += length;
    if (type == 0xFC) break;
  }
  return out;
}

// The same slide with the old (level 1) header: the aspect ratio as a
// double, no test number, three more header bytes.
std::string oldFormat(const std::string& slide, bool bigEndian = false) {
  std::string out = slide.substr(0, 23);
  out[18] = 1;
  const double aspect = platform::decodeFixed32(slide.data() + 23) / 1e7;
  std::string bytes(reinterpret_cast<const char*>(&aspect), 8);
  if (bigEndian) bytes.assign(bytes.rbegin(), bytes.rend());
  out += bytes;
  out += slide.substr(27, 2);  // the fill type
  out += '\0';
  return out + slide.substr(kNewSlideHeaderSize);
}

bool sameDrawing(const SlidePicture& a, const SlidePicture& b) {
  if (a.shapes.size() != b.shapes.size()) return false;
  for (size_t i = 0; i < a.shapes.size(); ++i) {
    if (a.shapes[i].filled != b.shapes[i].filled || a.shapes[i].colour != b.shapes[i].colour ||
        a.shapes[i].points != b.shapes[i].points) {
      return false;
    }
  }
  return a.header.highX == b.header.highX && a.header.highY == b.header.highY &&
         std::abs(a.header.aspect - b.header.aspect) < 1e-9;
}

TEST(SlideFile, EverySampleReadsWholeInEveryFormatAndByteOrder) {
  const std::vector<std::string> slides = sampleSlides();
  ASSERT_EQ(slides.size(), 18u);
  for (const std::string& slide : slides) {
    SlidePicture picture, other;
    std::vector<SlideProblem> problems;
    ASSERT_TRUE(parseSlide(slide, &picture, &problems));
    EXPECT_TRUE(problems.empty()) << problems[0].what;
    EXPECT_EQ(picture.end, slide.size());
    for (const std::string& variant :
         {bigEndian(slide), oldFormat(slide), oldFormat(bigEndian(slide), true)}) {
      ASSERT_TRUE(parseSlide(variant, &other, &problems));
      EXPECT_TRUE(problems.empty()) << problems[0].offset << ": " << problems[0].what;
      EXPECT_TRUE(sameDrawing(picture, other));
      EXPECT_EQ(other.end, variant.size());
    }
  }
}

TEST(SlideFile, RecordsDrawWhatTheyMean) {
  // Autodesk's own example: colour 7, a vector, colour 3, a vector, colour
  // 1, an offset vector and three common-endpoint vectors, the end.
  const std::string slide =
      std::string("AutoCAD Slide\r\n\x1a\0\x56\x02\x3C\x02\x24\x01\x0B\x80\xDF\x00\x02\x00\x34\x12",
                  31) +
      std::string(
          "\x07\xFF\x3C\x02\x24\x01\x00\x00\x00\x00\x03\xFF\x0F\x00\x32\x00\x0F\x00\x13\x00"
          "\x01\xFF\x12\xFB\xE7\x12\xCE\xDF\xFE\x00\x00\xFE\xE7\x21\xFE\x00\x00\xFC",
          38);
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  ASSERT_TRUE(parseSlide(slide, &picture, &problems));
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(picture.header.highX, 572u);
  EXPECT_EQ(picture.header.highY, 292u);
  using Points = std::vector<std::pair<int, int>>;
  const std::vector<std::pair<uint8_t, Points>> expected = {
      {7, {{572, 292}, {0, 0}}}, {3, {{15, 50}, {15, 19}}}, {1, {{33, 25}, {33, 0}}},
      {1, {{33, 25}, {0, 25}}},  {1, {{0, 25}, {0, 0}}},    {1, {{0, 0}, {33, 0}}},
  };
  ASSERT_EQ(picture.shapes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(picture.shapes[i].colour, expected[i].first) << i;
    EXPECT_EQ(picture.shapes[i].points, expected[i].second) << i;
  }

  // Millions of common-endpoint vectors all one way leave the screen far
  // behind: the point is held at a billion dots, short of what an int holds.
  struct LastPoint : SlideVisitor {
    void line(uint8_t, SlidePoint, SlidePoint to) override { last = to; }
    SlidePoint last;
  } far;
  std::string records = "\x7F\xFE\x7F";
  while (records.size() < 3 * 8'500'000) records += records;
  records.resize(3 * 8'500'000);
  const std::string away = slide.substr(0, 31) + records + std::string("\0\xFC", 2);
  ASSERT_TRUE(scanSlide(SlideSource(away), far).cause.ok());
  EXPECT_EQ(far.last, SlidePoint(1 << 30, 1 << 30));
}

TEST(SlideFile, ProblemsAreReportedWithTheirOffsets) {
  const std::string header = std::string(
      "AutoCAD Slide\r\n\x1a\0\x56\x02\x3F\x01\xC7\x00\x00\xE1\xF5\x05\x02\x00\x34\x12", 31);
  struct Case {
    std::string records;
    uint64_t offset;
    const char* what;
  };
  const Case cases[] = {
      {std::string("\x07\xFF\x01\x00\x02", 5), 33, "a record cut short by the end of the slide"},
      {std::string("\x07\xFF\x00\x90", 4), 33, "a record of undefined type 0x90"},
      {std::string("\x07\xFF", 2), 33, "the slide ends without its end record"},
      {std::string("\x00\xFC\x00\x00", 4), 33, "2 bytes after the end record"},
      {std::string(
           "\x00\xFD\x02\x00\xFE\xFF\x00\xFD\x01\x00\x01\x00\x00\xFD\x00\x00\xFE\xFF\x00\xFC", 20),
       31, "a solid fill of 1 vertices (3 to 10 make one)"},
      {std::string("\x00\xFD\x01\x00\x01\x00\x00\xFC", 8), 31,
       "a fill vertex outside a solid fill"},
  };
  for (const Case& c : cases) {
    SlidePicture picture;
    std::vector<SlideProblem> problems;
    ASSERT_TRUE(parseSlide(header + c.records, &picture, &problems));
    ASSERT_EQ(problems.size(), 1u) << c.what;
    EXPECT_EQ(problems[0].offset, c.offset) << c.what;
    EXPECT_EQ(problems[0].what, c.what);
  }
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  EXPECT_FALSE(parseSlide("AutoCAD Slid", &picture, &problems));
  EXPECT_FALSE(parseSlide(header.substr(0, 20), &picture, &problems));
}

// A slide read from a file a piece at a time draws and reports what it does
// read whole from memory: records that straddle the pieces, the last bytes
// an old big-endian slide is told by, and a slide cut short.
TEST(SlideFile, AFileIsReadInPiecesAsMemoryIsReadWhole) {
  // Sample records over and over, far past one piece (64 KiB).
  const std::vector<std::string> slides = sampleSlides();
  std::string records;
  for (const std::string& slide : slides) {
    if (slide[18] == 2) records += slide.substr(kNewSlideHeaderSize, slide.size() - 33);
  }
  std::string big = slides[0].substr(0, kNewSlideHeaderSize);
  while (big.size() < 300000) big += records;
  big += std::string("\0\xFC", 2);
  struct Case {
    const char* what;
    std::string slide;
  };
  const Case cases[] = {
      {"new, little-endian", big},
      {"old, big-endian", oldFormat(bigEndian(big), true)},
      {"cut short", big.substr(0, 200001)},
  };
  for (const Case& c : cases) {
    SlidePicture whole;
    std::vector<SlideProblem> problems;
    ASSERT_TRUE(parseSlide(c.slide, &whole, &problems)) << c.what;
    // In a file after 7 other bytes, so that pieces fall across records.
    platform::MemEnv env;
    env.addFile(u"f", "1234567" + c.slide + "tail");
    std::unique_ptr<platform::File> file;
    ASSERT_TRUE(env.openFile(u"f", platform::OpenMode::kRead, &file).ok());
    SlidePicture pieces;
    std::vector<SlideProblem> pieceProblems;
    struct Collect : SlideVisitor {
      SlidePicture* picture;
      std::vector<SlideProblem>* problems;
      void line(uint8_t colour, SlidePoint a, SlidePoint b) override {
        picture->shapes.push_back({false, colour, {a, b}});
      }
      void fill(uint8_t colour, const SlidePoint* p, size_t n) override {
        picture->shapes.push_back({true, colour, {p, p + n}});
      }
      void problem(const SlideProblem& p) override { problems->push_back(p); }
    } collect;
    collect.picture = &pieces;
    collect.problems = &pieceProblems;
    const SlideScan scan = scanSlide(SlideSource(*file, 7, c.slide.size()), collect);
    ASSERT_TRUE(scan.isSlide && scan.cause.ok()) << c.what;
    pieces.header = scan.header;
    EXPECT_TRUE(sameDrawing(whole, pieces)) << c.what;
    EXPECT_EQ(scan.end, whole.end) << c.what;
    EXPECT_EQ(scan.header.bigEndian, whole.header.bigEndian) << c.what;
    ASSERT_EQ(pieceProblems.size(), problems.size()) << c.what;
    for (size_t i = 0; i < problems.size(); ++i) {
      EXPECT_EQ(pieceProblems[i].offset, problems[i].offset) << c.what;
      EXPECT_EQ(pieceProblems[i].what, problems[i].what) << c.what;
    }
  }
}

// The text of every sample slide, those in the libraries too, in both
// formats and byte orders, makes the same bytes again.
TEST(SlideText, EverySampleSlideIsMadeAgainFromItsText) {
  std::vector<std::string> slides = sampleSlides();
  for (const auto& entry : fs::directory_iterator(test::testDataDir() / "slides")) {
    if (entry.path().extension() != ".slb") continue;
    for (const test::LibrarySlide& s : test::parseLibrary(test::readPath(entry.path()))) {
      slides.push_back(s.data);
    }
  }
  ASSERT_EQ(slides.size(), 30u);
  for (const std::string& slide : slides) {
    for (const std::string& variant :
         {slide, bigEndian(slide), oldFormat(slide), oldFormat(bigEndian(slide), true)}) {
      const SlideText text = slideToText(std::string_view(variant));
      ASSERT_TRUE(text.refused.what.empty()) << text.refused.offset << ": " << text.refused.what;
      std::string made;
      SlideTextFault fault;
      ASSERT_TRUE(slideFromText(text.text, &made, &fault))
          << fault.line << ": " << fault.what << "\n"
          << text.text;
      EXPECT_EQ(made, variant) << text.text.substr(0, text.text.find('\n'));
    }
  }
}

// A text that makes no slide, or a slide with a problem, is refused with
// its line; a slide whose bytes its text would not keep has none.
TEST(SlideText, FaultsAreNamedWithTheirLines) {
  const std::string header = "slide new little-endian 640x480 aspect 1.3333333 hardware-fill 2\n";
  struct Case {
    std::string text;
    size_t line;
    const char* what;
  };
  const Case cases[] = {
      {"# comment\n\nslide new little-endian 640x480 aspect 0 hardware-fill 2\nend\n", 3,
       "the aspect ratio is above 0, with at most 7 decimals, up to 429.4967295"},
      {"slide new little-endian 640x65537 aspect 1 hardware-fill 2\nend\n", 1,
       "the screen's size is WIDTHxHEIGHT, each from 1 to 65536 dots"},
      {header + "colour 7\nvector -1 0 5 5\nend\n", 3,
       "vector X1 Y1 X2 Y2: X1 from 0 to 32767, the others -32768 to 32767"},
      {header + "offset 1 2 3 128\nend\n", 2, "offset DX1 DY1 DX2 DY2: each from -128 to 127"},
      {header + "vector 10 10 0 0\nendpoint 139 10\nend\n", 3,
       "endpoint 139 10 is more than 128 dots from the last point, 10 10 (-128 to 127 on each "
       "axis)"},
      {header + "colour 7\nline 1 2 3 4\nend\n", 3,
       "no record is called line (vector, offset, endpoint, fill, colour, end)"},
      {header + "colour 7\n", 2, "the text ends without its end line"},
      {header + "end\ncolour 7\n", 3, "nothing but blank lines and comments follows end"},
      {header + "colour 1\nfill 2 -2\nfill 0 0\nfill 1 1\nfill 1 -1\nend\n", 3,
       "a solid fill of 2 vertices (3 to 10 make one)"},
      {"vector 1 2 3 4\n", 1,
       "the first line is not the header (slide new|old little-endian|big-endian ...)"},
  };
  for (const Case& c : cases) {
    std::string slide = "left";
    SlideTextFault fault;
    EXPECT_FALSE(slideFromText(c.text, &slide, &fault)) << c.what;
    EXPECT_EQ(fault.line, c.line) << c.what;
    EXPECT_EQ(fault.what, c.what);
    EXPECT_TRUE(slide.empty());
  }
  // Bytes that no field of the text holds: a fill vertex's low byte.
  std::string slide;
  SlideTextFault fault;
  ASSERT_TRUE(slideFromText(header + "fill 3 -1\nfill 0 0\nfill 9 0\nfill 0 9\nfill 0 -1\nend",
                            &slide, &fault));
  slide[kNewSlideHeaderSize + 6] = 1;
  const SlideText text = slideToText(std::string_view(slide));
  EXPECT_EQ(text.refused.offset, kNewSlideHeaderSize + 6);
  EXPECT_EQ(text.refused.what, "a fill vertex's low byte is 0x01, which the text does not keep");
  EXPECT_TRUE(text.text.empty());
}

}  // namespace
