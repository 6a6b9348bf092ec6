// DXF drawings that make no slide: each fault names its line; and what
// make leaves out, by type.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "slb/dxf_reader.h"
#include "slb/dxf_slide.h"
#include "slb/system_glyphs.h"
#include "support/test_support.h"
#include "vetrix/slides/slide_file.h"

namespace {

// A drawing of groups "code\nvalue\n...", sections as given.
std::string dxf(const std::string& blocks, const std::string& entities) {
  return "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities +
         "0\nENDSEC\n0\nEOF\n";
}

TEST(DxfSlide, FaultsNameTheirLines) {
  const std::string line = "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n5\n";
  struct Case {
    std::string file;
    size_t line;
    const char* what;
  };
  const Case cases[] = {
      {"0\nSECTION\n2\nENTITIES\n" + line, 1, "the section ENTITIES does not end (no 0 ENDSEC)"},
      {"0\nSECTION\n2\nENTITIES\n" + line + "0\nENDSEC\n", 18,
       "the file ends without 0 EOF: it is cut short"},
      {"0\nSECTION\n2\nENTITIES\nten\nLINE\n", 5, "a group code, a whole number, is expected here"},
      {"0\nSECTION\n2\nENTITIES\n0", 5, "the file ends before the value of group 0"},
      {"0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n0\nENDSEC\n0\nEOF\n", 5,
       "the block B does not end (no 0 ENDBLK)"},
      {dxf("", "0\nLINE\n10\n1\n20\n1e999\n"), 16, "a number is expected here"},
      {dxf("", ""), 0, "the drawing has no extents: nothing in model space is drawn"},
      {dxf("", line + "0\nINSERT\n2\nNONE\n"), 23,
       "an INSERT of the block \"NONE\", which the drawing does not define"},
      {dxf("0\nBLOCK\n2\nSELF\n0\nINSERT\n2\nSELF\n0\nENDBLK\n", line + "0\nINSERT\n2\nSELF\n"), 33,
       "blocks nested deeper than 32 (a block that inserts itself?)"},
  };
  // A binary file names the offset of the group at fault: here the text of
  // group 2, whose NUL is missing.
  DxfDrawing drawing;
  DxfFault fault;
  const std::string binary("AutoCAD Binary DXF\r\n\x1a\0\0\0SECTION\0\2\0ENTI", 38);
  EXPECT_FALSE(readDxf(binary, &drawing, &fault));
  EXPECT_TRUE(fault.atOffset);
  EXPECT_EQ(fault.offset, 32u);
  EXPECT_EQ(fault.what, "the text of group 2 does not end");
  for (const Case& c : cases) {
    DxfDrawing drawing;
    DxfFault fault;
    if (readDxf(c.file, &drawing, &fault)) {
      const DxfSlideResult made = dxfToSlide(drawing, DxfView());
      EXPECT_FALSE(made.ok) << c.what;
      EXPECT_TRUE(made.slide.empty()) << c.what;
      fault = made.fault;
    }
    EXPECT_EQ(fault.line, c.line) << c.what;
    EXPECT_EQ(fault.what, c.what);
  }
}

// What cannot be drawn is counted by type; the rest makes a slide that
// reads without a problem, in the size asked for.
TEST(DxfSlide, EntitiesNotDrawnAreCounted) {
  const std::string file =
      dxf("", "0\nLINE\n10\n0\n20\n0\n11\n10\n21\n5\n0\nIMAGE\n0\nMTEXT\n0\nIMAGE\n");
  DxfDrawing drawing;
  DxfFault fault;
  ASSERT_TRUE(readDxf(file, &drawing, &fault)) << fault.what;
  DxfView view;
  view.width = 320;
  view.height = 200;
  const DxfSlideResult made = dxfToSlide(drawing, view);
  ASSERT_TRUE(made.ok) << made.fault.what;
  EXPECT_EQ(made.skipped, (std::map<std::string, size_t>{{"IMAGE", 2}, {"MTEXT", 1}}));
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  ASSERT_TRUE(parseSlide(made.slide, &picture, &problems));
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(picture.header.highX, 319u);
  ASSERT_EQ(picture.shapes.size(), 1u);
  // The line fills the screen's width, centred in its height.
  EXPECT_EQ(picture.shapes[0].points, (std::vector<SlidePoint>{{319, 179}, {0, 20}}));
}

// Text in every encoding a drawing may hold draws the same characters: UTF-8
// from Release 2007 on, before it the code page $DWGCODEPAGE names (a
// Big5 trail byte may be a backslash), and the \U+ and \M+ escapes. No
// character turns into another, or into '?'. The glyphs are the test's
// own: each character a dot or a line of its own.
TEST(DxfSlide, TextIsDrawnInTheDrawingsEncoding) {
  StrokeFont font;
  std::string jhf;
  for (int k = 0; k < 95; ++k) {  // a dot of its own
    jhf += "12345  2MW";
    jhf += static_cast<char>('R' + k % 19 - 9);
    jhf += static_cast<char>('R' - k / 19);
    jhf += '\n';
  }
  ASSERT_TRUE(font.read(jhf));
  font.setFallback([](char32_t c, StrokeGlyph* glyph) {
    glyph->right = 10;
    glyph->strokes = {{{0, 0}, {double(c % 97) / 10, double(c / 97 % 97) / 10}}};
    return true;
  });
  auto slide = [&](const std::string& version, const std::string& codePage,
                   const std::string& entity) {
    const std::string file = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n" + version +
                             "\n9\n$DWGCODEPAGE\n3\n" + codePage + "\n0\nENDSEC\n" +
                             dxf("", entity + "0\nLINE\n10\n-5\n20\n-5\n11\n60\n21\n15\n");
    DxfDrawing drawing;
    DxfFault fault;
    EXPECT_TRUE(readDxf(file, &drawing, &fault)) << fault.what;
    DxfView view;
    view.font = &font;
    const DxfSlideResult made = dxfToSlide(drawing, view);
    EXPECT_TRUE(made.ok) << made.fault.what;
    return made.slide;
  };
  auto text = [](const std::string& value) {
    return "0\nTEXT\n10\n0\n20\n0\n40\n8\n1\n" + value + "\n";
  };
  auto mtext = [](const std::string& value, const std::string& width = "0") {
    return "0\nMTEXT\n10\n0\n20\n10\n40\n4\n41\n" + width + "\n1\n" + value + "\n";
  };
  const std::string chinese = slide("AC1024", "ANSI_1252", text("中文 x"));
  const struct {
    std::string version, codePage, entity;
  } same[] = {
      {"AC1015", "ANSI_936", text("\xD6\xD0\xCE\xC4 x")},
      {"AC1015", "ANSI_950", text("\xA4\xA4\xA4\xE5 x")},
      {"AC1015", "ANSI_1252", text("\\U+4E2D\\U+6587 x")},
      {"AC1015", "ANSI_1252", text("\\M+5D6D0\\M+5CEC4 x")},
  };
  for (const auto& c : same) {
    EXPECT_EQ(slide(c.version, c.codePage, c.entity), chinese) << c.codePage << " " << c.entity;
  }
  EXPECT_NE(slide("AC1024", "ANSI_1252", text("?? x")), chinese);
  EXPECT_NE(slide("AC1024", "ANSI_1252", text("文中 x")), chinese);
  // 許 and 功 are B3 5C and A5 5C in Big5: their trail bytes are no MTEXT
  // codes.
  EXPECT_EQ(slide("AC1015", "ANSI_950", mtext("\xB3\x5C\\P\xA5\x5C")),
            slide("AC1024", "ANSI_1252", mtext("許\\P功")));
  // MTEXT wraps to its width (glyphs 10 units wide, capitals 21 units and
  // 4 drawing units tall): after spaces, and between Chinese characters.
  EXPECT_EQ(slide("AC1024", "", mtext("aaa bbb", "9.5")), slide("AC1024", "", mtext("aaa\\Pbbb")));
  EXPECT_EQ(slide("AC1024", "", mtext("中文字 x", "4.8")),
            slide("AC1024", "", mtext("中文\\P字\\Px")));
}

// The system's fonts give the characters the stroke font lacks, where the
// system has them (not Windows builds).
TEST(DxfSlide, SystemFontsDrawChinese) {
  const StrokeFont::Fallback glyphs = systemGlyphs();
  if (!glyphs) GTEST_SKIP() << "built without fontconfig and FreeType";
  StrokeGlyph glyph;
  if (!glyphs(U'中', &glyph)) GTEST_SKIP() << "no system font has 中 (fonts-wqy-microhei)";
  // Closed contours, and an advance wider than a capital is tall.
  EXPECT_GE(glyph.strokes.size(), 2u);
  for (const auto& contour : glyph.strokes) EXPECT_EQ(contour.front(), contour.back());
  EXPECT_GT(glyph.right - glyph.left, StrokeFont::kCapHeight);
}

}  // namespace
