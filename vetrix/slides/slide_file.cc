#include "vetrix/slides/slide_file.h"

#include <cstdio>
#include <cstring>

#include "platform/coding.h"

namespace {

constexpr char kSlideId[] = "AutoCAD Slide\r\n\x1a";  // and a NUL: 17 bytes

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

class Records {
 public:
  Records(std::string_view bytes, const SlideHeader& header) : bytes_(bytes), header_(header) {}

  bool has(uint64_t offset, size_t n) const { return offset + n <= bytes_.size(); }
  unsigned byte(uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  int signedByte(uint64_t offset) const { return static_cast<int8_t>(bytes_[offset]); }
  // A 2-byte field in the slide's byte order.
  unsigned word(uint64_t offset) const {
    const unsigned value = platform::decodeFixed16(bytes_.data() + offset);
    return header_.bigEndian ? ((value & 0xFF) << 8 | value >> 8) : value;
  }
  int signedWord(uint64_t offset) const { return static_cast<int16_t>(word(offset)); }

 private:
  std::string_view bytes_;
  const SlideHeader& header_;
};

bool parseHeader(std::string_view bytes, SlideHeader* header, std::vector<SlideProblem>* problems) {
  if (bytes.size() < 19 || std::memcmp(bytes.data(), kSlideId, 13) != 0) {
    problems->push_back({0, "not a slide: it does not begin with \"AutoCAD Slide\""});
    return false;
  }
  if (std::memcmp(bytes.data(), kSlideId, sizeof kSlideId) != 0) {
    problems->push_back({13, "the identifier does not end with CR LF ^Z NUL"});
  }
  const unsigned type = static_cast<unsigned char>(bytes[17]);
  header->level = static_cast<unsigned char>(bytes[18]);
  if (type != kSlideType) problems->push_back({17, "type " + std::to_string(type) + ", not 86"});
  if (header->level != 1 && header->level != 2) {
    problems->push_back({18, "level " + std::to_string(header->level) + ", neither 1 nor 2"});
    return false;
  }
  header->size = header->level == 2 ? kNewSlideHeaderSize : kOldSlideHeaderSize;
  if (bytes.size() < header->size) {
    problems->push_back({bytes.size(), "the header is cut short"});
    return false;
  }
  if (header->level == 2) {
    // The test number, written in the writer's order, tells the order.
    const unsigned test = platform::decodeFixed16(bytes.data() + 29);
    header->bigEndian = test == 0x3412;
    if (test != kSlideTestNumber && test != 0x3412) {
      problems->push_back({29, "test number " + hex(test) + ", not 0x1234 in either byte order"});
    }
    header->aspect = platform::decodeFixed32(bytes.data() + 23) / 1e7;
  } else {
    // Old slides have no test number: their end record (00 FC, or FC 00
    // from a big-endian machine) tells.
    header->bigEndian = bytes.size() >= header->size + 2 &&
                        bytes.substr(bytes.size() - 2) == std::string_view("\xFC\0", 2);
    unsigned char aspect[8];
    std::memcpy(aspect, bytes.data() + 23, 8);
    if (header->bigEndian) {
      for (int i = 0; i < 4; ++i) std::swap(aspect[i], aspect[7 - i]);
    }
    std::memcpy(&header->aspect, aspect, 8);
  }
  Records fields(bytes, *header);
  header->highX = fields.word(19);
  header->highY = fields.word(21);
  header->fillType = fields.word(header->level == 2 ? 27 : 31);
  if (!(header->aspect > 0 && header->aspect < 1e6)) {
    problems->push_back({23, "aspect ratio " + std::to_string(header->aspect) + " is no ratio"});
    header->aspect = (header->highX + 1.0) / (header->highY + 1.0);
  }
  return true;
}

}  // namespace

bool parseSlide(std::string_view bytes, SlidePicture* picture,
                std::vector<SlideProblem>* problems) {
  *picture = SlidePicture();
  if (!parseHeader(bytes, &picture->header, problems)) return false;
  const Records records(bytes, picture->header);
  uint64_t at = picture->header.size;
  int lastX = 0, lastY = 0;
  uint8_t colour = 7;
  bool inFill = false;
  uint64_t fillStart = 0;
  std::vector<std::pair<int, int>> fill;
  auto line = [&](int x1, int y1, int x2, int y2) {
    picture->shapes.push_back({false, colour, {{x1, y1}, {x2, y2}}});
  };
  auto cutShort = [&](size_t need) {
    if (records.has(at, need)) return false;
    problems->push_back({at, "a record cut short by the end of the slide"});
    return true;
  };
  for (;;) {
    if (!records.has(at, 2)) {
      problems->push_back({at, "the slide ends without its end record"});
      break;
    }
    const unsigned word = records.word(at);
    const unsigned type = word >> 8, low = word & 0xFF;
    if (type <= 0x7F) {  // a vector: the word is its from-X
      if (cutShort(8)) break;
      lastX = static_cast<int>(word);
      lastY = records.signedWord(at + 2);
      line(lastX, lastY, records.signedWord(at + 4), records.signedWord(at + 6));
      ++picture->records.vectors;
      at += 8;
    } else if (type == 0xFB) {  // an offset vector from the last point
      if (cutShort(5)) break;
      const int fromX = lastX + static_cast<int8_t>(low),
                fromY = lastY + records.signedByte(at + 2);
      line(fromX, fromY, lastX + records.signedByte(at + 3), lastY + records.signedByte(at + 4));
      lastX = fromX;
      lastY = fromY;
      ++picture->records.offsetVectors;
      at += 5;
    } else if (type == 0xFC) {
      picture->end = at + 2;
      if (low != 0) problems->push_back({at, "the end record's low byte is " + hex(low)});
      if (picture->end < bytes.size()) {
        problems->push_back({picture->end, std::to_string(bytes.size() - picture->end) +
                                               " bytes after the end record"});
      }
      break;
    } else if (type == 0xFD) {  // a vertex of a solid fill; negative Y starts or ends one
      if (cutShort(6)) break;
      ++picture->records.fillVertices;
      const int x = records.signedWord(at + 2), y = records.signedWord(at + 4);
      if (y < 0 && !inFill) {
        inFill = true;
        fillStart = at;
        fill.clear();
      } else if (y < 0) {
        inFill = false;
        if (fill.size() < 3 || fill.size() > kMaxFillVertices) {
          problems->push_back({fillStart, "a solid fill of " + std::to_string(fill.size()) +
                                              " vertices (3 to 10 make one)"});
        } else {
          picture->shapes.push_back({true, colour, fill});
        }
      } else if (inFill) {
        fill.emplace_back(x, y);
      } else {
        problems->push_back({at, "a fill vertex outside a solid fill"});
      }
      at += 6;
    } else if (type == 0xFE) {  // a vector on from the last point
      if (cutShort(3)) break;
      const int toX = lastX + static_cast<int8_t>(low), toY = lastY + records.signedByte(at + 2);
      line(lastX, lastY, toX, toY);
      lastX = toX;
      lastY = toY;
      ++picture->records.endpointVectors;
      at += 3;
    } else if (type == 0xFF) {
      colour = static_cast<uint8_t>(low);
      ++picture->records.colours;
      at += 2;
    } else {
      problems->push_back({at, "a record of undefined type " + hex(type)});
      break;
    }
  }
  if (inFill) problems->push_back({fillStart, "a solid fill that is never closed"});
  return true;
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
