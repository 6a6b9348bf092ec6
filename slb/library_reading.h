// What the commands read: files opened with their lengths, a library with
// its directory (its slides are read when wanted), and slides found by the
// names users type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_format.h"

namespace slb {

// Opens a file to read, with its length; false with *error. "-" is
// standard input, read whole (at most 2 GiB, what a library may hold).
[[nodiscard]] bool openRead(const std::string& path, std::unique_ptr<platform::File>* file,
                            uint64_t* length, std::string* error);

// Whether the file begins as a slide library does: read for the one plain
// sentence a library given for a slide gets.
[[nodiscard]] bool isLibraryFile(platform::File& file);

// A file only to read, whose bytes are in memory, named `path`.
std::unique_ptr<platform::File> fileInMemory(std::shared_ptr<const std::string> bytes,
                                             std::u16string path);

// Opens a slide file, as openRead. A file longer than 2 GiB is none: no
// library holds one, and slb add takes none.
[[nodiscard]] bool openSlide(const std::string& path, std::unique_ptr<platform::File>* file,
                             uint64_t* length, std::string* error);

// Reads a file front to back a piece at a time, as directories are walked:
// memory holds one piece, however long the walk.
class Pieces {
 public:
  explicit Pieces(platform::File& file) : file_(file), piece_(size_t{1} << 16) {}
  // The `n` bytes at `offset` (n at most a piece), or null when fewer are
  // there or they cannot be read (see cause()).
  const unsigned char* at(uint64_t offset, size_t n);
  const platform::Status& cause() const { return cause_; }

 private:
  platform::File& file_;
  std::vector<unsigned char> piece_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  platform::Status cause_;
};

// An open library with its directory; its slides are read when wanted.
struct Library {
  std::unique_ptr<platform::File> file;
  SlideDirectory directory;

  uint64_t length() const { return static_cast<uint64_t>(directory.libraryLength); }
  const DirectoryEntry& entry(int i) const { return directory.entries[static_cast<size_t>(i)]; }
  SlideSource slide(int i) const {
    return SlideSource(*file, static_cast<uint64_t>(entry(i).offset),
                       static_cast<uint64_t>(entry(i).size));
  }
  // The slide's name in UTF-8.
  std::string name(int i) const;
};

// Opens a library and reads its directory (and nothing more); false with
// *error for a file that is none.
[[nodiscard]] bool readLibrary(const std::string& path, Library* library, std::string* error);

// The name to store or look up for a typed name, as Slbedit makes it: its
// ASCII letters upper-cased, in the ANSI code page. False with *error for
// a name no library can hold.
[[nodiscard]] bool storedName(const std::string& typed, std::string* name, std::string* error);

// The index of the first slide of the typed name, or -1 with *error.
[[nodiscard]] int findSlide(const Library& library, const std::string& typed, std::string* error);

// The slide the options name: a slide file, or a library and a name. Open,
// with where its bytes are and its title.
struct NamedSlide {
  std::unique_ptr<platform::File> file;
  uint64_t offset = 0, length = 0;
  std::string title;

  SlideSource source() const { return SlideSource(*file, offset, length); }
};

// Opens the slide that the first one or two of `names` name (a slide file,
// or a library and a slide's name); false with *error. A library alone is
// refused with the command that draws its slides: `slb COMMAND LIB NAME`.
[[nodiscard]] bool openNamedSlide(const std::vector<std::string>& names, const char* command,
                                  NamedSlide* slide, std::string* error);

}  // namespace slb
