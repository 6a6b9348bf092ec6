// AutoCAD slide libraries (.slb) and slides (.sld).
//
// A library is a 32-byte header, a directory of 36-byte entries (a 32-byte
// NUL-terminated name in the ANSI code page and a little-endian signed 32-bit
// absolute offset), a terminator entry of 36 zero bytes, then the slides,
// each the complete bytes of its slide file, back to back in directory order.
// Sizes are not stored: a slide runs to the next slide's offset, the last one
// to the end of the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

// "AutoCAD Slide Library 1.0\r\n", 0x1A and four zero bytes.
inline constexpr char kLibraryHeader[] = "AutoCAD Slide Library 1.0\r\n\x1a\0\0\0";
constexpr size_t kLibraryHeaderSize = 32;
// Only the text and the 0x1A are compared; the four padding bytes vary.
constexpr size_t kLibraryHeaderCompared = 28;
constexpr size_t kDirectoryEntrySize = 36;
constexpr size_t kSlideNameSize = 32;  // a name holds at most 31 bytes
constexpr size_t kMaxSlideNameLength = kSlideNameSize - 1;
// The first bytes of every slide file.
inline constexpr char kSlideMagic[] = "AutoCAD Slide";
constexpr size_t kSlideMagicSize = 13;
// Offsets are signed 32-bit: no library grows past this length.
constexpr uint64_t kMaxLibraryLength = 0x7FFFFFFF;
static_assert(sizeof(kLibraryHeader) == kLibraryHeaderSize);

// Where the first slide begins in a library of `count` slides.
constexpr uint64_t firstSlideOffset(uint64_t count) {
  return kLibraryHeaderSize + kDirectoryEntrySize * (count + 1);
}

struct DirectoryEntry {
  std::array<char, kSlideNameSize> name{};  // NUL-terminated, zero padded
  int32_t offset = 0;
  int32_t size = 0;

  std::string_view nameView() const;
  void setName(std::string_view ansiName);  // at most 31 bytes are kept
};

// The name stored for a typed slide name: its ASCII letters upper-cased (all
// that name comparisons fold), in the ANSI code page. False when the code
// page cannot hold it exactly.
bool storedSlideName(std::u16string_view typed, std::string* stored);

// The directory of a library, refilled by every read.
struct SlideDirectory {
  std::vector<DirectoryEntry> entries;
  int64_t libraryLength = 0;

  int count() const { return static_cast<int>(entries.size()); }
};

// Whether the file starts with the library header: a mismatch is kCorrupt,
// a failing read its own failure.
platform::Status checkLibraryHeader(platform::File& library);

// Why readDirectory refused a library; no reason when it did not.
struct [[nodiscard]] DirectoryFault {
  uint64_t offset = 0;           // the byte at fault
  const char* reason = nullptr;  // what is wrong there
  platform::Status cause;        // set when the file could not be read

  bool ok() const { return reason == nullptr; }
};

// Reads and validates the directory of an open library whose length is
// already in `directory.libraryLength`. A 32-byte header-only file and a
// header followed by the terminator alone read as empty libraries. A fault
// for a library whose directory does not describe the file, or holds an
// entry with an empty name (which other readers take for the end of the
// directory).
DirectoryFault readDirectory(platform::File& library, SlideDirectory& directory);

// What the directory of a damaged library still says. Names are ANSI, and
// empty for an entry whose name is empty or does not end.
struct DamagedDirectory {
  struct Entry {
    std::string name;
    uint64_t offset = 0;
  };
  std::vector<Entry> entries;  // in directory order, each pointing into the library
  std::vector<Entry> outside;  // those whose offsets lie outside it
};

// Reads the directory of a damaged library of `length` bytes as readDirectory
// does, but tolerantly: it reads on past faults, takes entries with no name
// (or one that does not end), sets aside those whose offsets lie outside the
// library, and ends at the terminator, at the lowest offset of a slide, or
// where the file ends. kCorrupt for a file without the library header; a
// failed read is its own failure.
platform::Status readDamagedDirectory(platform::File& library, uint64_t length,
                                      DamagedDirectory* directory);

enum class [[nodiscard]] WriteResult{kWritten, kFailed, kTooLarge};

// A slide to store: the file its bytes come from, their length, and the
// name (ANSI) it goes under.
struct NewSlide {
  platform::File* file;
  uint64_t length;
  std::string name;
};

// Writes a whole library into `output`: the slides of `directory` (read
// from `library`, which may be null for an empty one) except those at the
// indices `removed`, then each of `added` in turn, replacing the data of the
// last slide of its name (ignoring ASCII case; the entry keeps the name it
// was stored under) or appended as a new last slide. Offsets follow from the
// layout. On success the directory describes the library written.
WriteResult writeLibrary(platform::File& output, platform::File* library,
                         const std::vector<NewSlide>& added, const std::vector<int>& removed,
                         SlideDirectory& directory, platform::Status* cause);

// The first entry named `name` (ASCII letters of either case), or -1.
int findFirstSlide(const SlideDirectory& directory, std::string_view name);
