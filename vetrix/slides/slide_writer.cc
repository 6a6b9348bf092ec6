#include "vetrix/slides/slide_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

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

void CompactSlide::useColour(unsigned colour) {
  if (colour_ == static_cast<int>(colour)) return;
  writer_.colour(colour);
  colour_ = static_cast<int>(colour);
}

void CompactSlide::line(unsigned colour, int x1, int y1, int x2, int y2) {
  useColour(colour);
  // Until the first vector there is no last point: readers differ on
  // where offsets would start from.
  auto near = [this](int d) { return started_ && d >= kMinOffset && d <= kMaxOffset; };
  // Drawn the other way round, a line that ends at the last point starts there.
  if (x2 == lastX_ && y2 == lastY_ && !(x1 == lastX_ && y1 == lastY_)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == lastX_ && y1 == lastY_ && near(x2 - lastX_) && near(y2 - lastY_)) {
    writer_.endpointVector(x2 - lastX_, y2 - lastY_);
    lastX_ = x2;
    lastY_ = y2;
    return;
  }
  // Otherwise the from point becomes the last point: let it be the end
  // where the next line of a chain begins.
  std::swap(x1, x2);
  std::swap(y1, y2);
  if (near(x1 - lastX_) && near(y1 - lastY_) && near(x2 - lastX_) && near(y2 - lastY_)) {
    writer_.offsetVector(x1 - lastX_, y1 - lastY_, x2 - lastX_, y2 - lastY_);
  } else {
    writer_.vector(x1, y1, x2, y2);
    started_ = true;
  }
  lastX_ = x1;
  lastY_ = y1;
}

void CompactSlide::fill(unsigned colour, const SlidePoint* points, size_t count) {
  useColour(colour);
  writer_.fillVertex(static_cast<int>(count), -1);
  for (size_t k = 0; k < count; ++k) writer_.fillVertex(points[k].first, points[k].second);
  writer_.fillVertex(0, -1);
}

const std::string& CompactSlide::finish() {
  writer_.end();
  return writer_.bytes();
}
