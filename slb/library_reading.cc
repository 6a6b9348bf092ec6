#include "library_reading.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common.h"
#include "platform/coding.h"
#include "platform/path.h"
#include "platform/text.h"

namespace slb {
namespace {

// Standard input, read whole into memory: the commands read a library at
// any offset, which a pipe cannot give, and may open it again. It is only
// read.
class StandardInput : public platform::File {
 public:
  explicit StandardInput(std::shared_ptr<const std::string> bytes, std::u16string path = u"-")
      : shared_(std::move(bytes)), path_(std::move(path)) {}

  platform::Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    *got = offset >= bytes_.size() ? 0 : std::min<uint64_t>(n, bytes_.size() - offset);
    if (*got > 0) std::memcpy(data, bytes_.data() + offset, *got);
    return platform::Status();
  }
  platform::Status size(uint64_t* size) override {
    *size = bytes_.size();
    return platform::Status();
  }
  platform::Status write(uint64_t, const void*, size_t) override { return refused("write"); }
  platform::Status truncate(uint64_t) override { return refused("truncate"); }
  platform::Status sync() override { return platform::Status(); }
  platform::Status stat(platform::FileInfo*) override { return refused("stat"); }
  platform::Status setAttributes(uint32_t) override { return refused("set attributes"); }
  platform::Status setModified(int64_t) override { return refused("set the time"); }
  platform::Status setOwner(uint32_t, uint32_t) override { return refused("set the owner"); }
  platform::Status lock(uint64_t, uint64_t, int) override { return refused("lock"); }
  platform::Status close() override { return platform::Status(); }
  std::u16string path() const override { return path_; }

 private:
  platform::Status refused(std::string_view operation) const {
    return platform::Status::error(platform::ErrorKind::kAccessDenied, 0, operation, path_);
  }
  std::shared_ptr<const std::string> shared_;
  const std::string& bytes_ = *shared_;
  std::u16string path_;
};

// Reads standard input whole the first time, up to what a library or
// slide may hold; false with *error when it holds more or cannot be read.
bool readStandardInput(std::unique_ptr<platform::File>* file, uint64_t* length,
                       std::string* error) {
  static std::shared_ptr<const std::string> read;
  if (read) {
    *length = read->size();
    *file = std::make_unique<StandardInput>(read);
    return true;
  }
  std::string bytes;
  std::vector<char> piece(size_t{1} << 16);
  for (;;) {
    const size_t n = std::fread(piece.data(), 1, piece.size(), stdin);
    bytes.append(piece.data(), n);
    if (bytes.size() > kMaxLibraryLength) {
      *error = "standard input holds more than a library or slide has (2 GiB at most)";
      return false;
    }
    if (n == piece.size()) continue;
    if (std::ferror(stdin)) {
      if (errno == EINTR) {
        std::clearerr(stdin);
        continue;
      }
      *error = std::string("cannot read standard input: ") + std::strerror(errno);
      return false;
    }
    if (std::feof(stdin)) break;
  }
  read = std::make_shared<const std::string>(std::move(bytes));
  *length = read->size();
  *file = std::make_unique<StandardInput>(read);
  return true;
}

}  // namespace

std::unique_ptr<platform::File> fileInMemory(std::shared_ptr<const std::string> bytes,
                                             std::u16string path) {
  return std::make_unique<StandardInput>(std::move(bytes), std::move(path));
}

bool openRead(const std::string& path, std::unique_ptr<platform::File>* file, uint64_t* length,
              std::string* error) {
  if (path == "-") return readStandardInput(file, length, error);
  platform::Status s = env().openFile(wide(path), platform::OpenMode::kRead, file);
  if (s.ok()) s = (*file)->size(length);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

bool isLibraryFile(platform::File& file) {
  static constexpr char kLibrary[] = "AutoCAD Slide Library";
  char start[sizeof kLibrary - 1];
  size_t got = 0;
  return platform::readFully(file, 0, start, sizeof start, &got).ok() && got == sizeof start &&
         std::memcmp(start, kLibrary, sizeof start) == 0;
}

bool openSlide(const std::string& path, std::unique_ptr<platform::File>* file, uint64_t* length,
               std::string* error) {
  if (!openRead(path, file, length, error)) return false;
  if (*length <= kMaxLibraryLength) return true;
  *error = path + ": " + std::to_string(*length) + " bytes, more than a slide has (2 GiB at most)";
  return false;
}

const unsigned char* Pieces::at(uint64_t offset, size_t n) {
  if (offset < start_ || offset + n > start_ + filled_) {
    start_ = offset;
    cause_ = platform::readFully(file_, offset, piece_.data(), piece_.size(), &filled_);
    if (!cause_.ok()) filled_ = 0;
    if (n > filled_) return nullptr;
  }
  return piece_.data() + (offset - start_);
}

std::string Library::name(int i) const {
  return utf8(platform::fromAnsi(entry(i).nameView()));
}

namespace {

// A library whose first offset claims a directory of over 1 MiB (a sparse
// file of zeros that claims 2 GiB, say) is described by its first empty
// name, where every reader's directory ends, rather than by what is wrong
// with the claim, which readDirectory checks before it reads an entry. The
// entries are looked through a piece at a time; a fault found here is the
// library's.
DirectoryFault emptyNameInLargeDirectory(platform::File& file, uint64_t length) {
  constexpr uint64_t kLargeDirectory = uint64_t{1} << 20;
  DirectoryFault fault;
  Pieces pieces(file);
  const unsigned char* first = pieces.at(kLibraryHeaderSize, kDirectoryEntrySize);
  if (!first) return fault;  // readDirectory says what is wrong
  const int64_t firstOffset = static_cast<int32_t>(platform::decodeFixed32(first + kSlideNameSize));
  if (firstOffset <= static_cast<int64_t>(kLargeDirectory) ||
      static_cast<uint64_t>(firstOffset) > length) {
    return fault;
  }
  const uint64_t end = static_cast<uint64_t>(firstOffset) - kDirectoryEntrySize;
  for (uint64_t at = kLibraryHeaderSize; at + kDirectoryEntrySize <= end;
       at += kDirectoryEntrySize) {
    const unsigned char* entry = pieces.at(at, kDirectoryEntrySize);
    if (!entry) break;
    if (entry[0] == '\0') {
      fault.offset = at;
      fault.reason = "empty name";
      return fault;
    }
  }
  return fault;
}

// Entries at one offset name one slide (some writers store a slide so under
// two names): each reads it up to the next larger offset.
void shareSlidesOfOneOffset(SlideDirectory& directory) {
  std::vector<DirectoryEntry>& entries = directory.entries;
  for (size_t i = entries.size(); i-- > 1;) {
    if (entries[i - 1].offset == entries[i].offset) entries[i - 1].size = entries[i].size;
  }
}

}  // namespace

bool readLibrary(const std::string& path, Library* library, std::string* error) {
  uint64_t length = 0;
  if (!openRead(path, &library->file, &length, error)) return false;
  const platform::Status header = checkLibraryHeader(*library->file);
  if (header.kind() == platform::ErrorKind::kCorrupt) {
    *error = path + ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)";
    return false;
  }
  if (!header.ok()) {
    *error = header.toString();
    return false;
  }
  library->directory.libraryLength = static_cast<int64_t>(length);
  DirectoryFault fault;
  if (length <= kMaxLibraryLength) fault = emptyNameInLargeDirectory(*library->file, length);
  if (fault.ok()) fault = readDirectory(*library->file, library->directory);
  if (!fault.ok()) {
    *error = path + ":" + std::to_string(fault.offset) + ": " + fault.reason;
    if (!fault.cause.ok()) *error += ": " + fault.cause.toString();
    return false;
  }
  shareSlidesOfOneOffset(library->directory);
  return true;
}

bool storedName(const std::string& typed, std::string* name, std::string* error) {
  if (typed.empty()) {
    *error = "an empty slide name";
  } else if (!storedSlideName(wide(typed), name)) {
    *error = "the slide name \"" + typed + "\" is not in ANSI code page " +
             std::to_string(platform::ansiCodePage());
  } else if (name->size() > kMaxSlideNameLength) {
    *error = "the slide name \"" + typed + "\" is longer than 31 bytes";
  } else {
    return true;
  }
  return false;
}

int findSlide(const Library& library, const std::string& typed, std::string* error) {
  std::string name;
  if (!storedName(typed, &name, error)) return -1;
  const int index = findFirstSlide(library.directory, name);
  if (index < 0) *error = "no slide \"" + typed + "\" in the library";
  return index;
}

bool openNamedSlide(const std::vector<std::string>& names, const char* command, NamedSlide* slide,
                    std::string* error) {
  if (names.size() == 1) {
    if (!openSlide(names[0], &slide->file, &slide->length, error)) return false;
    if (isLibraryFile(*slide->file)) {
      *error =
          names[0] + ": not a slide: this is a slide library; use `slb " + command + " LIB NAME`";
      return false;
    }
    slide->title = utf8(platform::splitPath(wide(names[0])).name);
    return true;
  }
  Library library;
  if (!readLibrary(names[0], &library, error)) return false;
  const int i = findSlide(library, names[1], error);
  if (i < 0) return false;
  slide->offset = static_cast<uint64_t>(library.entry(i).offset);
  slide->length = static_cast<uint64_t>(library.entry(i).size);
  slide->title = library.name(i);
  slide->file = std::move(library.file);
  return true;
}

}  // namespace slb
