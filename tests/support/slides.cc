#include "support/slides.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/coding.h"

namespace test {

std::string makeSlide(size_t size, char fill) {
  // A new-format header (31 bytes: 100 by 100 dots, aspect 1), colour
  // records of `fill`'s colour (an offset vector of 5 bytes where the length
  // is even), and the end mark: a whole slide of `size` bytes, or a few more
  // where it is too small for one.
  std::string slide("AutoCAD Slide\r\n\x1a\0\x56\x02", 19);
  platform::putFixed16(&slide, 100);
  platform::putFixed16(&slide, 100);
  platform::putFixed32(&slide, 10000000);
  platform::putFixed16(&slide, 2);
  platform::putFixed16(&slide, 0x1234);
  const size_t length = size < 33 ? 33 : size % 2 == 0 && size < 38 ? 38 : size;
  if (length % 2 == 0) slide += std::string("\0\xFB\0\0\0", 5);  // a vector of one dot
  while (slide.size() + 4 <= length) {
    slide += fill;
    slide += '\xFF';
  }
  slide += std::string("\0\xFC", 2);
  return slide;
}

std::string makeLibrary(const std::vector<std::pair<std::string, std::string>>& slides) {
  std::string out("AutoCAD Slide Library 1.0\r\n\x1a\0\0\0\0", 32);
  uint32_t offset = 32 + 36 * static_cast<uint32_t>(slides.size() + 1);
  for (const auto& [name, data] : slides) {
    std::string field = name;
    field.resize(32, '\0');
    out += field;
    platform::putFixed32(&out, offset);
    offset += static_cast<uint32_t>(data.size());
  }
  out.append(36, '\0');
  for (const auto& slide : slides) out += slide.second;
  return out;
}

std::vector<LibrarySlide> parseLibrary(const std::string& bytes) {
  std::vector<LibrarySlide> slides;
  EXPECT_GE(bytes.size(), 32u);
  EXPECT_EQ(bytes.substr(0, 28), std::string("AutoCAD Slide Library 1.0\r\n\x1a", 28));
  size_t at = 32;
  while (at + 36 <= bytes.size() && bytes[at] != '\0') {
    LibrarySlide slide;
    slide.name = std::string(bytes.c_str() + at, strnlen(bytes.c_str() + at, 32));
    slide.offset = static_cast<int32_t>(platform::decodeFixed32(bytes.data() + at + 32));
    slides.push_back(slide);
    at += 36;
  }
  if (slides.empty()) return slides;
  EXPECT_EQ(static_cast<size_t>(slides[0].offset), at + 36) << "first slide follows the terminator";
  for (size_t i = 0; i < slides.size(); ++i) {
    const size_t end =
        i + 1 < slides.size() ? static_cast<size_t>(slides[i + 1].offset) : bytes.size();
    EXPECT_LE(static_cast<size_t>(slides[i].offset), end);
    if (static_cast<size_t>(slides[i].offset) <= end && end <= bytes.size()) {
      slides[i].data = bytes.substr(static_cast<size_t>(slides[i].offset), end - slides[i].offset);
    }
  }
  return slides;
}

}  // namespace test
