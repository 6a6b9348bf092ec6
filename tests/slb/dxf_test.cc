// DXF drawings that make no slide: each fault names its line; and what
// make leaves out, by type.
#include <gtest/gtest.h>

#include <string>

#include "slb/dxf_reader.h"
#include "slb/dxf_slide.h"
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

}  // namespace
