// The listing engine behind Dirfile: walks a folder tree and formats the
// listing lines, without a host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "platform/file_writes.h"

// Buffers listing lines and writes them to the output file in large blocks.
class ListingWriter {
 public:
  // `listingName`: the listing's own name, whose writer's files (its
  // temporary file, journal and lock) the listing never names.
  ListingWriter(platform::File& file, std::u16string listingName)
      : file_(file), listingName_(std::move(listingName)) {}
  ListingWriter(const ListingWriter&) = delete;
  ListingWriter& operator=(const ListingWriter&) = delete;

  void append(std::string_view line);
  // Appends the listing line formatListingLine makes.
  void appendLine(std::string_view name, uint64_t size, std::string_view drive,
                  std::string_view directory);
  bool skips(std::u16string_view name) const {
    return platform::isWriterFileOf(name, listingName_);
  }
  // Writes what is buffered; the first failure of any write so far.
  platform::Status flush();

 private:
  platform::File& file_;
  std::u16string listingName_;
  std::string buffer_;
  uint64_t offset_ = 0;
  platform::Status failure_;
};

// Writes the lines of every file matching `searchPath` in its folder, then
// walks each subfolder (depth first, in the order the search yields them)
// with the same last component. Linked folders (symbolic links, junctions)
// are walked too, but each folder once: one reached again (through a link
// back up the tree, or a second link to it) is not listed again. A folder
// that is not there
// lists nothing; the first folder that cannot be read ends the walk with
// its failure.
platform::Status listDirectoryTree(platform::Env& env, ListingWriter& out,
                                   std::u16string_view searchPath);
// Writes the lines of one folder's matching files.
platform::Status writeFileLines(platform::Env& env, ListingWriter& out,
                                std::u16string_view searchPath);

// Writes the listing of `searchPath` (see listDirectoryTree) as the file
// `listing`, which is replaced only by a whole listing (see
// platform/file_writes.h): a failure anywhere, a folder the walk could not
// read among them, keeps the old listing.
struct [[nodiscard]] ListingResult {
  enum class Kind { kWritten, kNotOpened, kWriteFailed };
  Kind kind = Kind::kWritten;
  platform::Status cause;
  platform::Published published = platform::Published::kNo;  // where the new listing went
  std::u16string keptPath;  // with Published::kTorn or kJournalKept
};
ListingResult writeListing(platform::Env& env, std::u16string_view searchPath,
                           std::u16string_view listing);

// One listing line: name right-aligned to 12, the low 32 bits of the size as
// a signed number right-aligned to 10, then drive and directory, CR LF.
std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory);
