// Delfile, Copyfile and Dirfile: the file utilities of vetrix.
#pragma once

#include <string>
#include <string_view>

#include "frame/host_interface.h"
#include "platform/platform.h"

// (Delfile path): deletes one file; prints "\nDELETE->path" and, on failure,
// "\nDELETE FAIL". Returns 1 after running, kRtError for a bad argument list.
int Delfile(const ResultBuffer* args);
// (Copyfile from to): copies a file over any existing destination.
int Copyfile(const ResultBuffer* args);
// (Dirfile pattern): lists every file matching the pattern, in its directory
// and every directory below, into "dirfile" in the current directory.
int Dirfile(const ResultBuffer* args);

// The listing engine behind Dirfile, usable without a host.
class ListingWriter;
void listDirectoryTree(ListingWriter& out, std::u16string_view searchPath);
void writeFileLines(ListingWriter& out, std::u16string_view searchPath);

// One listing line: name right-aligned to 12, the low 32 bits of the size as
// a signed number right-aligned to 10, then drive and directory, CR LF.
std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory);

// Buffers listing lines and writes them to the output file in large blocks.
class ListingWriter {
 public:
  explicit ListingWriter(platform::File& file) : file_(file) {}
  void append(std::string_view line);
  // Writes what is buffered; false if any write failed.
  bool flush();

 private:
  platform::File& file_;
  std::string buffer_;
  uint64_t offset_ = 0;
  bool failed_ = false;
};
