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
  // A file the listing never names: the listing's own temporary file.
  void skip(std::u16string name) { skipped_ = std::move(name); }
  bool skips(std::u16string_view name) const { return !skipped_.empty() && name == skipped_; }
  // Writes what is buffered; the first failure of any write so far.
  platform::Status flush();
  // A folder the walk could not read (it lists what it can): the first is
  // kept, for whoever diagnoses a listing that lacks files.
  void noteUnread(const platform::Status& cause) {
    if (unread_.ok()) unread_ = cause;
  }
  const platform::Status& unread() const { return unread_; }

 private:
  platform::File& file_;
  std::string buffer_;
  uint64_t offset_ = 0;
  platform::Status failure_;
  platform::Status unread_;
  std::u16string skipped_;
};

// Writes the lines of every file matching `searchPath` in its folder, then
// walks each subfolder (depth first, in the order the search yields them)
// with the same last component. Linked folders (symbolic links, junctions)
// are walked too, except one that leads back to a folder on the path being
// walked, which would make the walk endless.
void listDirectoryTree(platform::Env& env, ListingWriter& out, std::u16string_view searchPath);
// Writes the lines of one folder's matching files.
void writeFileLines(platform::Env& env, ListingWriter& out, std::u16string_view searchPath);

// Writes the listing of `searchPath` (see listDirectoryTree) into a new
// file beside `listing`, which replaces `listing` only once it is whole and
// flushed: a failure keeps the old listing. A listing reached through a
// symbolic link is replaced where it lives. Written, the cause says what
// went wrong on the way all the same: a folder the walk could not read, or
// the folder of the listing that could not be flushed.
struct ListingResult {
  enum class Kind { kWritten, kNotOpened, kWriteFailed };
  Kind kind = Kind::kWritten;
  platform::Status cause;
};
ListingResult writeListing(platform::Env& env, std::u16string_view searchPath,
                           std::u16string_view listing);

// One listing line: name right-aligned to 12, the low 32 bits of the size as
// a signed number right-aligned to 10, then drive and directory, CR LF.
std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory);
