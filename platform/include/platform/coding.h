// Little-endian integers in byte buffers, for the file formats (slide
// libraries, dBASE tables). Every stored integer goes through these.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline uint16_t decodeFixed16(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t decodeFixed32(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t decodeFixed64(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return uint64_t{decodeFixed32(p)} | uint64_t{decodeFixed32(p + 4)} << 32;
}

inline void encodeFixed16(void* at, uint16_t value) {
  auto* p = static_cast<unsigned char*>(at);
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

inline void encodeFixed32(void* at, uint32_t value) {
  auto* p = static_cast<unsigned char*>(at);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void encodeFixed64(void* at, uint64_t value) {
  auto* p = static_cast<unsigned char*>(at);
  encodeFixed32(p, static_cast<uint32_t>(value));
  encodeFixed32(p + 4, static_cast<uint32_t>(value >> 32));
}

inline void putFixed16(std::string* out, uint16_t value) {
  char bytes[2];
  encodeFixed16(bytes, value);
  out->append(bytes, 2);
}

inline void putFixed32(std::string* out, uint32_t value) {
  unsigned char bytes[4];
  encodeFixed32(bytes, value);
  out->append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace platform
