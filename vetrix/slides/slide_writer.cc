#include "vetrix/slides/slide_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/coding.h"

namespace {

constexpr char kSlideId[] = "AutoCAD Slide\r\n\x1a";  // and its NUL: 17 bytes
constexpr double kMaxNewAspect = 0xFFFFFFFFu / kAspectScale;

}  // namespace

bool writableHeader(const SlideHeader& h) {
  const bool aspect =
      h.level == 2 ? h.aspect > 0 && h.aspect <= kMaxNewAspect : h.aspect > 0 && h.aspect < 1e6;
  return (h.level == 1 || h.level == 2) && aspect && h.highX <= 0xFFFF && h.highY <= 0xFFFF &&
         h.fillType <= 0xFFFF && h.spare <= 0xFF;
}

SlideWriter::SlideWriter(const SlideHeader& h) : bigEndian_(h.bigEndian) {
  bytes_.assign(kSlideId, sizeof kSlideId);
  byte(kSlideType);
  byte(h.level);
  word(h.highX);
  word(h.highY);
  if (h.level == 2) {
    platform::putFixed32(&bytes_, static_cast<uint32_t>(std::llround(h.aspect * kAspectScale)));
    word(h.fillType);
    word(kSlideTestNumber);
  } else {
    // The double as the writing machine held it: little-endian here, so
    // reversed for a big-endian slide.
    uint64_t bits = 0;
    std::memcpy(&bits, &h.aspect, sizeof bits);
    char aspect[8];
    platform::encodeFixed64(aspect, bits);
    if (bigEndian_) std::reverse(aspect, aspect + 8);
    bytes_.append(aspect, 8);
    word(h.fillType);
    byte(static_cast<int>(h.spare));
  }
}

void SlideWriter::word(unsigned value) {
  if (bigEndian_) {
    byte(static_cast<int>(value >> 8));
    byte(static_cast<int>(value));
  } else {
    byte(static_cast<int>(value));
    byte(static_cast<int>(value >> 8));
  }
}

void SlideWriter::vector(int fromX, int fromY, int toX, int toY) {
  word(static_cast<unsigned>(fromX) & kMaxVectorFromX);
  word(static_cast<unsigned>(fromY));
  word(static_cast<unsigned>(toX));
  word(static_cast<unsigned>(toY));
}

void SlideWriter::offsetVector(int fromDx, int fromDy, int toDx, int toDy) {
  typeWord(0xFB, static_cast<unsigned>(fromDx));
  byte(fromDy);
  byte(toDx);
  byte(toDy);
}

void SlideWriter::endpointVector(int dx, int dy) {
  typeWord(0xFE, static_cast<unsigned>(dx));
  byte(dy);
}

void SlideWriter::fillVertex(int x, int y, unsigned low) {
  typeWord(0xFD, low);
  word(static_cast<unsigned>(x));
  word(static_cast<unsigned>(y));
}

void SlideWriter::colour(unsigned index) {
  typeWord(0xFF, index);
}

void SlideWriter::end(unsigned low) {
  typeWord(0xFC, low);
}
