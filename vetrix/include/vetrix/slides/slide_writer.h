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
