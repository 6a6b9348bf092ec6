#include "vetrix/slides/slide_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/coding.h"

namespace {

constexpr char kSlideId[] = "AutoCAD Slide\r\n\x1a";  // and a NUL: 17 bytes
// How much of a slide in a file is read at a time.
constexpr size_t kReadPiece = size_t{1} << 16;
// The longest record, and the longest stretch asked for at a time.
constexpr size_t kLongestRecord = 8;
// What is read of a slide's file first: its header and a few records.
constexpr size_t kFirstRead = 512;

// A point moved by a signed byte of an offset or endpoint record. Millions
// of records moving one way would take it past what an int holds; it is held
// at a billion dots instead, where every picture has long been left behind
// (what such a line shows of itself on the screen differs by under a
// hundredth of a dot).
int moved(int from, unsigned offsetByte) {
  constexpr int64_t kFar = int64_t{1} << 30;
  const int64_t to = int64_t{from} + static_cast<int8_t>(offsetByte);
  return static_cast<int>(std::clamp(to, -kFar, kFar));
}

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// The bytes of a slide, in memory or read from its file a piece at a time.
class SlideBytes {
 public:
  explicit SlideBytes(const SlideSource& source) : source_(source) {
    // The piece grows to kReadPiece as the slide is read past its header.
  }

  uint64_t size() const { return source_.length; }
  // The `n` bytes at `offset` (offset + n <= size(); n at most one piece);
  // null when they could not be read (see cause()).
  const unsigned char* at(uint64_t offset, size_t n) {
    if (!source_.file) return reinterpret_cast<const unsigned char*>(source_.bytes.data()) + offset;
    if (offset < start_ || offset + n > start_ + filled_) {
      if (!cause_.ok()) return nullptr;
      // The first read is small: a listing reads the header alone.
      const size_t want = offset == 0 && filled_ == 0 ? std::max(n, kFirstRead) : kReadPiece;
      start_ = offset;
      filled_ = static_cast<size_t>(std::min<uint64_t>(want, size() - offset));
      if (piece_.size() < filled_) piece_.resize(filled_);
      cause_ =
          platform::readExactly(*source_.file, source_.offset + offset, piece_.data(), filled_);
      if (!cause_.ok()) {
        filled_ = 0;
        return nullptr;
      }
    }
    return piece_.data() + (offset - start_);
  }
  const platform::Status& cause() const { return cause_; }

 private:
  const SlideSource& source_;
  std::vector<unsigned char> piece_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  platform::Status cause_;
};

// A scan in progress: the slide's bytes, where the problems go, and what
// was found.
class Scanner {
 public:
  Scanner(const SlideSource& source, SlideVisitor& visitor) : bytes_(source), visitor_(visitor) {}

  SlideScan run() {
    scan_.isSlide = readHeader();
    if (scan_.isSlide && visitor_.header(scan_.header)) readRecords();
    scan_.cause = bytes_.cause();
    return std::move(scan_);
  }

 private:
  void problem(uint64_t offset, std::string what) {
    SlideProblem found{offset, std::move(what)};
    visitor_.problem(found);
    if (scan_.problems++ == 0) scan_.first = std::move(found);
  }

  // A 2-byte field in the slide's byte order.
  unsigned word(const unsigned char* p) const {
    const unsigned value = platform::decodeFixed16(p);
    return scan_.header.bigEndian ? ((value & 0xFF) << 8 | value >> 8) : value;
  }
  int signedWord(const unsigned char* p) const { return static_cast<int16_t>(word(p)); }

  bool readHeader();
  void readRecords();

  SlideBytes bytes_;
  SlideVisitor& visitor_;
  SlideScan scan_;
};

bool Scanner::readHeader() {
  SlideHeader* header = &scan_.header;
  const uint64_t size = bytes_.size();
  const unsigned char* p =
      size < 19 ? nullptr : bytes_.at(0, static_cast<size_t>(std::min<uint64_t>(size, 34)));
  if (size >= 19 && !p) return false;
  if (size < 19 || std::memcmp(p, kSlideId, 13) != 0) {
    problem(0, "not a slide: it does not begin with \"AutoCAD Slide\"");
    return false;
  }
  if (std::memcmp(p, kSlideId, sizeof kSlideId) != 0) {
    problem(13, "the identifier does not end with CR LF ^Z NUL");
  }
  const unsigned type = p[17];
  header->level = p[18];
  if (type != kSlideType) problem(17, "type " + std::to_string(type) + ", not 86");
  if (header->level != 1 && header->level != 2) {
    problem(18, "level " + std::to_string(header->level) + ", neither 1 nor 2");
    return false;
  }
  header->size = header->level == 2 ? kNewSlideHeaderSize : kOldSlideHeaderSize;
  if (size < header->size) {
    problem(size, "the header is cut short");
    return false;
  }
  unsigned char fields[kOldSlideHeaderSize];
  std::memcpy(fields, p, header->size);
  if (header->level == 2) {
    // The test number, written in the writer's order, tells the order.
    const unsigned test = platform::decodeFixed16(fields + 29);
    header->bigEndian = test == 0x3412;
    if (test != kSlideTestNumber && test != 0x3412) {
      problem(29, "test number " + hex(test) + ", not 0x1234 in either byte order");
    }
    header->aspect = platform::decodeFixed32(fields + 23) / kAspectScale;
  } else {
    // Old slides have no test number: their end record (00 FC, or FC 00
    // from a big-endian machine) tells.
    if (size >= header->size + 2) {
      const unsigned char* last = bytes_.at(size - 2, 2);
      if (!last) return false;
      header->bigEndian = last[0] == 0xFC && last[1] == 0;
    }
    unsigned char aspect[8];
    std::memcpy(aspect, fields + 23, 8);
    if (header->bigEndian) std::reverse(aspect, aspect + 8);
    std::memcpy(&header->aspect, aspect, 8);
  }
  header->highX = word(fields + 19);
  header->highY = word(fields + 21);
  header->fillType = word(fields + (header->level == 2 ? 27 : 31));
  if (header->level == 1) header->spare = fields[33];
  if (!(header->aspect > 0 && header->aspect < 1e6)) {
    problem(23, "aspect ratio " + std::to_string(header->aspect) + " is no ratio");
    header->aspect = (header->highX + 1.0) / (header->highY + 1.0);
  }
  return true;
}

void Scanner::readRecords() {
  const uint64_t size = bytes_.size();
  SlideRecordCounts& counts = scan_.records;
  uint64_t at = scan_.header.size;
  int lastX = 0, lastY = 0;
  uint8_t colour = 7;
  // A solid fill being read: where it began, its vertices (only the first
  // ten are kept: more make no fill), and how many there were.
  bool inFill = false;
  uint64_t fillStart = 0;
  std::array<SlidePoint, kMaxFillVertices> fill;
  size_t fillCount = 0;
  for (;;) {
    const size_t left = static_cast<size_t>(std::min<uint64_t>(size - at, kLongestRecord));
    if (left < 2) {
      problem(at, "the slide ends without its end record");
      break;
    }
    const unsigned char* p = bytes_.at(at, left);
    if (!p) return;
    auto cutShort = [&](size_t need) {
      if (left >= need) return false;
      problem(at, "a record cut short by the end of the slide");
      return true;
    };
    const unsigned record = word(p);
    const unsigned type = record >> 8, low = record & 0xFF;
    auto tell = [&](SlideRecordKind kind, std::initializer_list<int> fields, unsigned spare = 0) {
      SlideRecord r;
      r.kind = kind;
      r.offset = at;
      std::copy(fields.begin(), fields.end(), r.fields);
      r.low = spare;
      visitor_.record(r);
    };
    if (type <= 0x7F) {  // a vector: the word is its from-X
      if (cutShort(8)) break;
      tell(SlideRecordKind::kVector,
           {static_cast<int>(record), signedWord(p + 2), signedWord(p + 4), signedWord(p + 6)});
      lastX = static_cast<int>(record);
      lastY = signedWord(p + 2);
      visitor_.line(colour, {lastX, lastY}, {signedWord(p + 4), signedWord(p + 6)});
      ++counts.vectors;
      at += 8;
    } else if (type == 0xFB) {  // an offset vector from the last point
      if (cutShort(5)) break;
      tell(SlideRecordKind::kOffsetVector, {static_cast<int8_t>(low), static_cast<int8_t>(p[2]),
                                            static_cast<int8_t>(p[3]), static_cast<int8_t>(p[4])});
      const int fromX = moved(lastX, low), fromY = moved(lastY, p[2]);
      visitor_.line(colour, {fromX, fromY}, {moved(lastX, p[3]), moved(lastY, p[4])});
      lastX = fromX;
      lastY = fromY;
      ++counts.offsetVectors;
      at += 5;
    } else if (type == 0xFC) {
      tell(SlideRecordKind::kEnd, {}, low);
      scan_.end = at + 2;
      if (low != 0) problem(at, "the end record's low byte is " + hex(low));
      if (scan_.end < size) {
        problem(scan_.end, std::to_string(size - scan_.end) + " bytes after the end record");
      }
      break;
    } else if (type == 0xFD) {  // a vertex of a solid fill; negative Y starts or ends one
      if (cutShort(6)) break;
      ++counts.fillVertices;
      const int x = signedWord(p + 2), y = signedWord(p + 4);
      tell(SlideRecordKind::kFillVertex, {x, y}, low);
      if (y < 0 && !inFill) {
        inFill = true;
        fillStart = at;
        fillCount = 0;
      } else if (y < 0) {
        inFill = false;
        if (fillCount < 3 || fillCount > kMaxFillVertices) {
          problem(fillStart,
                  "a solid fill of " + std::to_string(fillCount) + " vertices (3 to 10 make one)");
        } else {
          visitor_.fill(colour, fill.data(), fillCount);
          ++counts.fills;
        }
      } else if (inFill) {
        if (fillCount < kMaxFillVertices) fill[fillCount] = {x, y};
        ++fillCount;
      } else {
        problem(at, "a fill vertex outside a solid fill");
      }
      at += 6;
    } else if (type == 0xFE) {  // a vector on from the last point
      if (cutShort(3)) break;
      tell(SlideRecordKind::kEndpointVector, {static_cast<int8_t>(low), static_cast<int8_t>(p[2])});
      const int toX = moved(lastX, low), toY = moved(lastY, p[2]);
      visitor_.line(colour, {lastX, lastY}, {toX, toY});
      lastX = toX;
      lastY = toY;
      ++counts.endpointVectors;
      at += 3;
    } else if (type == 0xFF) {
      tell(SlideRecordKind::kColour, {static_cast<int>(low)});
      colour = static_cast<uint8_t>(low);
      ++counts.colours;
      at += 2;
    } else {
      problem(at, "a record of undefined type " + hex(type));
      break;
    }
  }
  if (inFill) problem(fillStart, "a solid fill that is never closed");
}

// Keeps every shape and problem.
class PictureCollector : public SlideVisitor {
 public:
  PictureCollector(SlidePicture* picture, std::vector<SlideProblem>* problems)
      : picture_(picture), problems_(problems) {}
  void line(uint8_t colour, SlidePoint from, SlidePoint to) override {
    picture_->shapes.push_back({false, colour, {from, to}});
  }
  void fill(uint8_t colour, const SlidePoint* points, size_t count) override {
    picture_->shapes.push_back({true, colour, {points, points + count}});
  }
  void problem(const SlideProblem& problem) override { problems_->push_back(problem); }

 private:
  SlidePicture* picture_;
  std::vector<SlideProblem>* problems_;
};

}  // namespace

SlideScan scanSlide(const SlideSource& slide, SlideVisitor& visitor) {
  return Scanner(slide, visitor).run();
}

bool parseSlide(std::string_view bytes, SlidePicture* picture,
                std::vector<SlideProblem>* problems) {
  *picture = SlidePicture();
  PictureCollector collector(picture, problems);
  const SlideScan scan = scanSlide(bytes, collector);
  picture->header = scan.header;
  picture->records = scan.records;
  picture->end = scan.end;
  return scan.isSlide;
}

uint32_t slideColour(uint8_t index) {
  auto rgb = [](unsigned r, unsigned g, unsigned b) { return r << 16 | g << 8 | b; };
  switch (index) {
    case 0:
    case 7:
      return rgb(255, 255, 255);  // on the black background
    case 1:
      return rgb(255, 0, 0);
    case 2:
      return rgb(255, 255, 0);
    case 3:
      return rgb(0, 255, 0);
    case 4:
      return rgb(0, 255, 255);
    case 5:
      return rgb(0, 0, 255);
    case 6:
      return rgb(255, 0, 255);
    case 8:
      return rgb(128, 128, 128);
    case 9:
      return rgb(192, 192, 192);
    default:
      break;
  }
  if (index >= 250) {
    static const unsigned kGreys[] = {51, 80, 105, 130, 190, 255};
    const unsigned g = kGreys[index - 250];
    return rgb(g, g, g);
  }
  // 10 to 249: 24 hues 15 degrees apart, each at five brightnesses, full
  // and half saturated.
  const unsigned hue = index / 10 - 1, shade = index % 10;
  static const unsigned kLevels[] = {255, 204, 153, 127, 76};
  const double level = kLevels[shade / 2];
  const bool pale = shade % 2 == 1;
  // The fraction of each channel along the colour wheel, in quarter steps.
  double channel[3];
  const unsigned sector = hue / 4, step = hue % 4;
  const double up = step / 4.0, down = 1 - up;
  switch (sector) {
    case 0:  // red to yellow
      channel[0] = 1, channel[1] = up, channel[2] = 0;
      break;
    case 1:  // yellow to green
      channel[0] = down, channel[1] = 1, channel[2] = 0;
      break;
    case 2:  // green to cyan
      channel[0] = 0, channel[1] = 1, channel[2] = up;
      break;
    case 3:  // cyan to blue
      channel[0] = 0, channel[1] = down, channel[2] = 1;
      break;
    case 4:  // blue to magenta
      channel[0] = up, channel[1] = 0, channel[2] = 1;
      break;
    default:  // magenta to red
      channel[0] = 1, channel[1] = 0, channel[2] = down;
      break;
  }
  unsigned out[3];
  for (int i = 0; i < 3; ++i) {
    const double f = pale ? 0.5 + 0.5 * channel[i] : channel[i];
    out[i] = static_cast<unsigned>(level * f);
  }
  return rgb(out[0], out[1], out[2]);
}
