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
#include <utility>
#include <vector>

#include "platform/env.h"

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
  // Width over height of the screen area: always above 0 and below 1e6 (a
  // header's ratio outside that is reported, and the dots' ratio used).
  double aspect = 1;
  unsigned fillType = 0;
  unsigned spare = 0;  // old format: the unused last byte of the header
  size_t size = kNewSlideHeaderSize;
};

// The aspect ratio as a new-format header stores it: times 10,000,000.
constexpr double kAspectScale = 1e7;

// A dot of a slide: x, y with (0, 0) at the lower left.
using SlidePoint = std::pair<int, int>;

// What a slide draws, in drawing order: lines and filled polygons, in the
// host's colour numbers.
struct SlideShape {
  bool filled = false;
  uint8_t colour = 7;
  std::vector<SlidePoint> points;  // a line's two ends, or a polygon
};

struct SlideProblem {
  uint64_t offset = 0;  // within the slide
  std::string what;
};

// How many records of each kind a slide holds, and the solid fills they
// make.
struct SlideRecordCounts {
  size_t vectors = 0, offsetVectors = 0, endpointVectors = 0, fillVertices = 0, colours = 0;
  size_t fills = 0;
};

// The kinds of record a slide stores.
enum class SlideRecordKind { kVector, kOffsetVector, kEndpointVector, kFillVertex, kColour, kEnd };

// One record as it is stored, its fields in the order the record holds
// them: a vector's from X, from Y, to X, to Y; an offset vector's four
// signed byte offsets (from the last point); a vector from the last point,
// its two offsets; a fill vertex's X and Y (a negative Y starts or ends a
// fill); a colour's index. `low` is the low byte of the first word of a
// fill vertex or end record, which holds no field (0 as written).
struct SlideRecord {
  SlideRecordKind kind = SlideRecordKind::kEnd;
  uint64_t offset = 0;  // within the slide
  int fields[4] = {};
  unsigned low = 0;
};

// Where the bytes of a slide are: in memory, or `length` bytes from
// `offset` of an open file, which are read a piece at a time.
struct SlideSource {
  SlideSource(std::string_view bytes) : bytes(bytes), length(bytes.size()) {}  // NOLINT
  SlideSource(platform::File& file, uint64_t offset, uint64_t length)
      : file(&file), offset(offset), length(length) {}

  std::string_view bytes;
  platform::File* file = nullptr;
  uint64_t offset = 0, length = 0;
};

// Takes what a slide holds as its records are read, in drawing order.
class SlideVisitor {
 public:
  virtual ~SlideVisitor() = default;
  // The header, before any record. False: the records are not wanted, and
  // the scan ends here.
  virtual bool header(const SlideHeader&) { return true; }
  // Each record read whole, before what it draws.
  virtual void record(const SlideRecord&) {}
  virtual void line(uint8_t /*colour*/, SlidePoint /*from*/, SlidePoint /*to*/) {}
  // A solid fill of 3 to 10 vertices.
  virtual void fill(uint8_t /*colour*/, const SlidePoint* /*points*/, size_t /*count*/) {}
  // Each problem, as it is found.
  virtual void problem(const SlideProblem&) {}
};

// What a scan found besides the shapes.
struct SlideScan {
  bool isSlide = false;  // the header is a slide's
  SlideHeader header;
  SlideRecordCounts records;
  uint64_t end = 0;        // the offset after the end record (0 when there is none)
  size_t problems = 0;     // how many were found
  SlideProblem first;      // the first of them
  platform::Status cause;  // a read of the file that failed; the scan stopped there
};

// Reads a slide record by record, handing each shape and problem to
// `visitor`; what could be read is drawn up to the first problem that makes
// the rest unreadable. Memory does not grow with the slide: a file is read
// 64 KiB at a time. isSlide is false when the header is not a slide's (or
// could not be read).
SlideScan scanSlide(const SlideSource& slide, SlideVisitor& visitor);

// A slide read whole into memory: its header, every shape and problem.
struct SlidePicture {
  SlideHeader header;
  std::vector<SlideShape> shapes;
  SlideRecordCounts records;
  uint64_t end = 0;  // the offset after the end record (0 when there is none)
};

// scanSlide into a SlidePicture, for slides known to be small. False when
// the header is not a slide's.
bool parseSlide(std::string_view bytes, SlidePicture* picture, std::vector<SlideProblem>* problems);

// The red, green and blue of the host's colour `index` on its black
// background (7 is white).
uint32_t slideColour(uint8_t index);
