// Writing slide files (.sld): a header and records, as slide_file.h reads
// them, in either format and byte order.
#pragma once

#include <cstdint>
#include <string>

#include "vetrix/slides/slide_file.h"

// Field ranges of the records (see slide_file.h).
constexpr int kMaxVectorFromX = 0x7FFF;  // a vector's from X is its first word, type 00-7F
constexpr int kMinOffset = -128, kMaxOffset = 127;

// Whether a header can be written: a level of 1 or 2; a new-format aspect
// ratio that its 32-bit field holds (above 0, at most 429.4967295); an
// old-format one above 0 and below 1e6; highX, highY, fillType in 16 bits;
// the spare byte in 8.
bool writableHeader(const SlideHeader& header);

// A slide being written, in memory. Each record takes its fields in the
// ranges its kind has (kMaxVectorFromX, 16-bit signed coordinates, offsets
// kMinOffset to kMaxOffset); a field out of range is cut to its bits.
class SlideWriter {
 public:
  // Writes the header (writableHeader); a new-format one carries the test
  // number in the header's byte order.
  explicit SlideWriter(const SlideHeader& header);

  void vector(int fromX, int fromY, int toX, int toY);
  void offsetVector(int fromDx, int fromDy, int toDx, int toDy);
  void endpointVector(int dx, int dy);
  void fillVertex(int x, int y, unsigned low = 0);
  void colour(unsigned index);
  void end(unsigned low = 0);

  const std::string& bytes() const { return bytes_; }
  // Where the next record goes.
  uint64_t offset() const { return bytes_.size(); }

 private:
  // The first word of a record: its type and low byte.
  void typeWord(unsigned type, unsigned low) { word(type << 8 | (low & 0xFF)); }
  void word(unsigned value);
  void byte(int value) { bytes_ += static_cast<char>(value & 0xFF); }

  std::string bytes_;
  bool bigEndian_;
};

// Lines and solid fills in dots, written as a slide in the shortest
// records: a colour record only where the colour changes, and each line as
// a vector from the last point when it starts or ends there and its other
// end is near, else as an offset vector when both ends are near the last
// point, else as a vector whose from point is the end the next line is
// likelier to start from (the line's second).
class CompactSlide {
 public:
  explicit CompactSlide(const SlideHeader& header) : writer_(header) {}

  // A line from (x1, y1) to (x2, y2): each from 0 to 32767.
  void line(unsigned colour, int x1, int y1, int x2, int y2);
  // A solid fill of 3 to kMaxFillVertices vertices.
  void fill(unsigned colour, const SlidePoint* points, size_t count);
  // The end record, and the slide.
  const std::string& finish();

 private:
  void useColour(unsigned colour);

  SlideWriter writer_;
  int colour_ = -1;
  int lastX_ = 0, lastY_ = 0;
  bool started_ = false;  // whether a vector has set the last point
};
