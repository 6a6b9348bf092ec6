// Building and taking apart slide libraries in tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace test {

struct LibrarySlide {
  std::string name;
  std::string data;
  int32_t offset = 0;
};

// A slide of exactly `size` bytes (at least the 13-byte magic).
std::string makeSlide(size_t size, char fill = 'x');
// A well-formed library of the slides, in order.
std::string makeLibrary(const std::vector<std::pair<std::string, std::string>>& slides);
// The slides of a library, read by walking the directory to its empty name;
// fails the test on a library whose offsets do not describe the file.
std::vector<LibrarySlide> parseLibrary(const std::string& bytes);

}  // namespace test
