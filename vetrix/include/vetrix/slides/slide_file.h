// The inside of a slide file (.sld): its header and the records that draw
// it. The modules store slides whole and never look inside; the slb tool
// lists, checks and renders them.
//
// New-format slides (level 2) have a 31-byte header: "AutoCAD Slide" CR LF
// ^Z NUL, type 86, level 2, the highest X and Y dot, the aspect ratio (x 1e7,
// always little-endian), the fill type, and the test number 0x1234 in the
// writer's byte order, which every other 2-byte field follows. Old-format
// slides (level 1) have a 34-byte header with the aspect ratio as a double
// and no test number: their byte order shows in the end record.
//
// Records start with a 2-byte word whose high byte is the type: 00-7F a
// vector (from X in the word, then from Y, to X, to Y), FB an offset vector,
// FC the end, FD a vertex of a solid fill, FE a vector from the last point,
// FF a new colour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kNewSlideHeaderSize = 31;
constexpr size_t kOldSlideHeaderSize = 34;
constexpr unsigned kSlideType = 86;
constexpr uint16_t kSlideTestNumber = 0x1234;
// A solid fill has this many vertices at most, and three at least.
constexpr size_t kMaxFillVertices = 10;

struct SlideHeader {
  int level = 2;  // 2: new format, 1: old
  bool bigEndian = false;
  unsigned highX = 0, highY = 0;  // the picture is highX + 1 by highY + 1 dots
  double aspect = 1;              // width over height of the screen area
  unsigned fillType = 0;
  size_t size = kNewSlideHeaderSize;
};

// What a slide draws, in drawing order: lines and filled polygons, in the
// host's colour numbers, on dot coordinates with (0, 0) at the lower left.
struct SlideShape {
  bool filled = false;
  uint8_t colour = 7;
  std::vector<std::pair<int, int>> points;  // a line's two ends, or a polygon
};

struct SlideProblem {
  uint64_t offset = 0;  // within the slide
  std::string what;
};

// How many records of each kind a slide holds.
struct SlideRecordCounts {
  size_t vectors = 0, offsetVectors = 0, endpointVectors = 0, fillVertices = 0, colours = 0;
};

struct SlidePicture {
  SlideHeader header;
  std::vector<SlideShape> shapes;
  SlideRecordCounts records;
  uint64_t end = 0;  // the offset after the end record (0 when there is none)
};

// Reads a slide. Every problem goes into *problems with its offset; the
// picture holds what could be read up to the first problem that makes the
// rest unreadable. False when the header is not a slide's.
bool parseSlide(std::string_view bytes, SlidePicture* picture, std::vector<SlideProblem>* problems);

// The red, green and blue of the host's colour `index` on its black
// background (7 is white).
uint32_t slideColour(uint8_t index);
