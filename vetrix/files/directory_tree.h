// The listing engine behind Dirfile: walks a folder tree and formats the
// listing lines, without a host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/env.h"

// Buffers listing lines and writes them to the output file in large blocks.
class ListingWriter {
 public:
  explicit ListingWriter(platform::File& file) : file_(file) {}
  ListingWriter(const ListingWriter&) = delete;
  ListingWriter& operator=(const ListingWriter&) = delete;

  void append(std::string_view line);
  // Writes what is buffered; the first failure of any write so far.
  platform::Status flush();

 private:
  platform::File& file_;
  std::string buffer_;
  uint64_t offset_ = 0;
  platform::Status failure_;
};

// Writes the lines of every file matching `searchPath` in its folder, then
// walks each subfolder (depth first, in the order the search yields them)
// with the same last component. Linked folders (symbolic links, junctions)
// are walked too, except one that leads back to a folder on the path being
// walked, which would make the walk endless.
void listDirectoryTree(platform::Env& env, ListingWriter& out, std::u16string_view searchPath);
// Writes the lines of one folder's matching files.
void writeFileLines(platform::Env& env, ListingWriter& out, std::u16string_view searchPath);

// One listing line: name right-aligned to 12, the low 32 bits of the size as
// a signed number right-aligned to 10, then drive and directory, CR LF.
std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory);
