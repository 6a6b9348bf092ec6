#include "vetrix/slides/slide_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "frame/host_interface.h"

namespace {

constexpr size_t kCopyBlock = 1 << 16;
constexpr uint64_t kMaxLibraryLength = std::numeric_limits<int32_t>::max();

int32_t readInt32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

void appendInt32(std::string* out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(v >> shift));
}

// One slide of the library being written, and where its bytes come from.
struct Piece {
  std::array<char, kSlideNameSize> name;
  bool fromSlide;  // the new slide, else the old library
  uint64_t from;   // offset in the old library
  uint64_t size;
};

bool copyBytes(platform::File& from, uint64_t fromOffset, platform::File& to, uint64_t toOffset,
               uint64_t size, std::vector<unsigned char>& buffer) {
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    if (!platform::readExactly(from, fromOffset, buffer.data(), n)) return false;
    if (!to.write(toOffset, buffer.data(), n)) return false;
    fromOffset += n;
    toOffset += n;
    size -= n;
  }
  return true;
}

// Writes header, directory, terminator and data; the directory then
// describes the library written.
WriteResult writeLibrary(platform::File& output, platform::File& library, platform::File* slide,
                         const std::vector<Piece>& pieces, SlideDirectory& directory) {
  uint64_t length = firstSlideOffset(pieces.size());
  std::vector<int32_t> offsets;
  offsets.reserve(pieces.size());
  for (const Piece& piece : pieces) {
    if (length > kMaxLibraryLength) return WriteResult::kTooLarge;
    offsets.push_back(static_cast<int32_t>(length));
    length += piece.size;
  }
  if (length > kMaxLibraryLength) return WriteResult::kTooLarge;

  std::string head(kLibraryHeader, kLibraryHeaderSize);
  for (size_t i = 0; i < pieces.size(); ++i) {
    head.append(pieces[i].name.data(), kSlideNameSize);
    appendInt32(&head, offsets[i]);
  }
  head.append(kDirectoryEntrySize, '\0');
  if (!output.write(0, head.data(), head.size())) return WriteResult::kFailed;

  std::vector<unsigned char> buffer(kCopyBlock);
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    platform::File& source = piece.fromSlide ? *slide : library;
    if (!copyBytes(source, piece.from, output, static_cast<uint64_t>(offsets[i]), piece.size,
                   buffer)) {
      return WriteResult::kFailed;
    }
  }

  directory.entries.clear();
  for (size_t i = 0; i < pieces.size(); ++i) {
    DirectoryEntry entry;
    entry.name = pieces[i].name;
    entry.offset = offsets[i];
    entry.size = static_cast<int32_t>(pieces[i].size);
    directory.entries.push_back(entry);
  }
  directory.libraryLength = static_cast<int64_t>(length);
  return WriteResult::kWritten;
}

Piece pieceOf(const DirectoryEntry& entry) {
  return Piece{entry.name, false, static_cast<uint64_t>(entry.offset),
               static_cast<uint64_t>(entry.size)};
}

}  // namespace

std::string_view DirectoryEntry::nameView() const {
  return std::string_view(name.data(), strnlen(name.data(), name.size()));
}

void DirectoryEntry::setName(std::string_view ansiName) {
  name.fill('\0');
  std::memcpy(name.data(), ansiName.data(), std::min(ansiName.size(), kMaxSlideNameLength));
}

SlideDirectory& slideDirectory() {
  static SlideDirectory directory;
  return directory;
}

int createLibraryFile(std::u16string_view path) {
  std::unique_ptr<platform::File> file =
      platform::Env::current()->openFile(path, platform::OpenMode::kCreateTruncate);
  if (file) {
    file->write(0, kLibraryHeader, kLibraryHeaderSize);
    file->close();
  }
  return 0;
}

int checkLibraryHeader(platform::File& library) {
  char header[kLibraryHeaderSize] = {};
  size_t got = 0;
  library.read(0, header, sizeof header, &got);
  if (std::memcmp(header, kLibraryHeader, kLibraryHeaderCompared) == 0) return 0;
  zcutPrintf(u"\nThis is not a SLB file");
  return 1;
}

int checkSlideHeader(platform::File& slide) {
  char header[15] = {};
  size_t got = 0;
  slide.read(0, header, sizeof header, &got);
  if (std::memcmp(header, kSlideMagic, kSlideMagicSize) == 0) return 0;
  zcutPrintf(u"\nThis is not a SLD file");
  return 1;
}

bool readDirectory(platform::File& library, SlideDirectory& directory, DirectoryFault* fault) {
  directory.entries.clear();
  directory.previousOffsets.clear();
  const auto length = static_cast<uint64_t>(directory.libraryLength);
  auto refuse = [fault](uint64_t offset, const char* reason) {
    *fault = DirectoryFault{offset, reason};
    return false;
  };
  if (length > kMaxLibraryLength) return refuse(0, "library larger than 2 GiB");
  if (length == kLibraryHeaderSize) return true;  // header only: an empty library
  if (length < firstSlideOffset(0)) return refuse(length, "directory cut short");

  unsigned char first[kDirectoryEntrySize];
  if (!platform::readExactly(library, kLibraryHeaderSize, first, sizeof first)) {
    return refuse(kLibraryHeaderSize, "directory unreadable");
  }
  const bool firstIsTerminator =
      std::all_of(std::begin(first), std::end(first), [](unsigned char b) { return b == 0; });
  if (firstIsTerminator) {
    // Header and terminator alone: what removing the last slide leaves.
    if (length == firstSlideOffset(0)) return true;
    return refuse(kLibraryHeaderSize, "data after an empty directory");
  }

  const int64_t firstOffset = readInt32(first + kSlideNameSize);
  if (firstOffset < static_cast<int64_t>(firstSlideOffset(1)) ||
      (firstOffset - static_cast<int64_t>(kLibraryHeaderSize)) % kDirectoryEntrySize != 0) {
    return refuse(kLibraryHeaderSize + kSlideNameSize, "first offset is not behind a directory");
  }
  if (static_cast<uint64_t>(firstOffset) > length) {
    return refuse(kLibraryHeaderSize + kSlideNameSize, "directory runs past the end");
  }
  const size_t count = static_cast<size_t>(firstOffset - static_cast<int64_t>(kLibraryHeaderSize)) /
                           kDirectoryEntrySize -
                       1;

  std::vector<unsigned char> raw(count * kDirectoryEntrySize);
  if (!platform::readExactly(library, kLibraryHeaderSize, raw.data(), raw.size())) {
    return refuse(kLibraryHeaderSize, "directory unreadable");
  }
  directory.entries.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = raw.data() + i * kDirectoryEntrySize;
    const uint64_t at = kLibraryHeaderSize + i * kDirectoryEntrySize;
    DirectoryEntry& entry = directory.entries[i];
    std::memcpy(entry.name.data(), p, kSlideNameSize);
    if (std::memchr(p, 0, kSlideNameSize) == nullptr) return refuse(at, "name not terminated");
    entry.offset = readInt32(p + kSlideNameSize);
    if (entry.offset < 0 || static_cast<uint64_t>(entry.offset) > length) {
      return refuse(at + kSlideNameSize, "offset outside the file");
    }
    if (i > 0 && entry.offset < directory.entries[i - 1].offset) {
      return refuse(at + kSlideNameSize, "offsets decrease");
    }
    if (i > 0) directory.entries[i - 1].size = entry.offset - directory.entries[i - 1].offset;
  }
  directory.entries.back().size =
      static_cast<int32_t>(length - static_cast<uint64_t>(directory.entries.back().offset));
  return true;
}

int findLastSlide(const SlideDirectory& directory, std::string_view name) {
  const platform::LeadBytes leads;
  for (int i = directory.count() - 1; i >= 0; --i) {
    if (platform::compareIgnoringCase(directory.entries[i].nameView(), name, leads) == 0) return i;
  }
  return -1;
}

int findFirstSlide(const SlideDirectory& directory, std::string_view name) {
  const platform::LeadBytes leads;
  for (int i = 0; i < directory.count(); ++i) {
    if (platform::compareIgnoringCase(directory.entries[i].nameView(), name, leads) == 0) return i;
  }
  return -1;
}

WriteResult writeLibraryWithSlide(platform::File& output, platform::File& library,
                                  platform::File& slide, uint64_t slideLength,
                                  std::string_view name, SlideDirectory& directory) {
  std::vector<Piece> pieces;
  for (const DirectoryEntry& entry : directory.entries) pieces.push_back(pieceOf(entry));
  const int m = findLastSlide(directory, name);
  if (m >= 0) {
    // The replaced entry keeps the name it was stored under.
    pieces[static_cast<size_t>(m)].fromSlide = true;
    pieces[static_cast<size_t>(m)].from = 0;
    pieces[static_cast<size_t>(m)].size = slideLength;
  } else {
    DirectoryEntry added;
    added.setName(name);
    pieces.push_back(Piece{added.name, true, 0, slideLength});
  }
  return writeLibrary(output, library, &slide, pieces, directory);
}

WriteResult writeLibraryWithout(platform::File& output, platform::File& library, int index,
                                SlideDirectory& directory) {
  std::vector<Piece> pieces;
  directory.previousOffsets.clear();
  for (int i = 0; i < directory.count(); ++i) {
    directory.previousOffsets.push_back(directory.entries[i].offset);
    if (i != index) pieces.push_back(pieceOf(directory.entries[i]));
  }
  return writeLibrary(output, library, nullptr, pieces, directory);
}
