#include "vetrix/slides/slide_format.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii.h"
#include "platform/coding.h"
#include "platform/text.h"

namespace {

int32_t readInt32(const unsigned char* p) {
  return static_cast<int32_t>(platform::decodeFixed32(p));
}

// One slide of the library being written, and where its bytes come from.
struct Piece {
  std::array<char, kSlideNameSize> name;
  platform::File* source;  // a new slide's file, or the old library
  uint64_t from;           // offset in the source
  uint64_t size;
};

// Writes header, directory, terminator and data; the directory then
// describes the library written.
WriteResult writePieces(platform::File& output, const std::vector<Piece>& pieces,
                        SlideDirectory& directory, platform::Status* cause) {
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
    platform::putFixed32(&head, static_cast<uint32_t>(offsets[i]));
  }
  head.append(kDirectoryEntrySize, '\0');
  *cause = output.write(0, head.data(), head.size());
  if (!cause->ok()) return WriteResult::kFailed;

  // The data, in as few copies as there are stretches: slides that lie
  // back to back in one source (the unchanged slides of the old library)
  // are copied together.
  for (size_t i = 0; i < pieces.size();) {
    const Piece& first = pieces[i];
    uint64_t size = first.size;
    size_t next = i + 1;
    while (next < pieces.size() && pieces[next].source == first.source &&
           pieces[next].from == first.from + size) {
      size += pieces[next++].size;
    }
    if (size > 0) {
      *cause = output.copyFrom(*first.source, first.from, static_cast<uint64_t>(offsets[i]), size);
      if (!cause->ok()) return WriteResult::kFailed;
    }
    i = next;
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

// Reads a directory's entries front to back a piece at a time: memory holds
// one piece, whatever the directory claims.
class EntryPieces {
 public:
  EntryPieces(platform::File& library, uint64_t length) : library_(library), length_(length) {}

  // The entry at `at`, or null when it does not fit in the library or
  // cannot be read (then cause() says why).
  const unsigned char* entry(uint64_t at) {
    if (at + kDirectoryEntrySize > length_) return nullptr;
    if (at < start_ || at + kDirectoryEntrySize > start_ + piece_.size()) {
      constexpr uint64_t kPiece = 1820 * kDirectoryEntrySize;  // just under 64 KiB
      piece_.resize(static_cast<size_t>(std::min(kPiece, length_ - at)));
      start_ = at;
      cause_ = platform::readExactly(library_, at, piece_.data(), piece_.size());
      if (!cause_.ok()) {
        piece_.clear();
        return nullptr;
      }
    }
    return piece_.data() + (at - start_);
  }
  const platform::Status& cause() const { return cause_; }

 private:
  platform::File& library_;
  uint64_t length_;
  std::vector<unsigned char> piece_;
  uint64_t start_ = 0;
  platform::Status cause_;
};

// Adds the directory entry at `p` of a library of `length` bytes, and sets
// the size of the entry before it. What is wrong with the entry, when
// something is, and *within where in the entry.
const char* takeEntry(const unsigned char* p, uint64_t length, SlideDirectory& directory,
                      size_t* within) {
  DirectoryEntry& entry = directory.entries.emplace_back();
  std::memcpy(entry.name.data(), p, kSlideNameSize);
  if (std::memchr(p, 0, kSlideNameSize) == nullptr) return "name not terminated";
  // Other slide readers take an empty name for the end of the directory:
  // to them the entries from here on are not there.
  if (p[0] == '\0') return "empty name";
  *within = kSlideNameSize;
  entry.offset = readInt32(p + kSlideNameSize);
  if (entry.offset < 0 || static_cast<uint64_t>(entry.offset) > length) {
    return "offset outside the file";
  }
  const size_t i = directory.entries.size() - 1;
  if (i > 0 && entry.offset < directory.entries[i - 1].offset) return "offsets decrease";
  if (i > 0) directory.entries[i - 1].size = entry.offset - directory.entries[i - 1].offset;
  return nullptr;
}

}  // namespace

std::string_view DirectoryEntry::nameView() const {
  return std::string_view(name.data(), strnlen(name.data(), name.size()));
}

void DirectoryEntry::setName(std::string_view ansiName) {
  name.fill('\0');
  std::memcpy(name.data(), ansiName.data(), std::min(ansiName.size(), kMaxSlideNameLength));
}

bool storedSlideName(std::u16string_view typed, std::string* stored) {
  std::u16string upper(typed);
  for (char16_t& c : upper) c = platform::asciiUpper(c);
  return platform::toAnsiExact(upper, stored);
}

platform::Status checkLibraryHeader(platform::File& library) {
  char header[kLibraryHeaderSize] = {};
  size_t got = 0;
  // Read through: a read that comes back short is no short file.
  platform::Status s = platform::readFully(library, 0, header, sizeof header, &got);
  if (s.ok() && std::memcmp(header, kLibraryHeader, kLibraryHeaderCompared) != 0) {
    s = platform::Status::error(platform::ErrorKind::kCorrupt, 0,
                                "find the slide-library header of", library.path());
  }
  return s;
}

DirectoryFault readDirectory(platform::File& library, SlideDirectory& directory) {
  directory.entries.clear();
  const auto length = static_cast<uint64_t>(directory.libraryLength);
  DirectoryFault fault;
  auto refuse = [&fault](uint64_t offset, const char* reason) {
    fault.offset = offset;
    fault.reason = reason;
    return fault;
  };
  if (length > kMaxLibraryLength) return refuse(0, "library larger than 2 GiB");
  if (length == kLibraryHeaderSize) return fault;  // header only: an empty library
  if (length < firstSlideOffset(0)) return refuse(length, "directory cut short");

  unsigned char first[kDirectoryEntrySize];
  fault.cause = platform::readExactly(library, kLibraryHeaderSize, first, sizeof first);
  if (!fault.cause.ok()) return refuse(kLibraryHeaderSize, "directory unreadable");
  const bool firstIsTerminator =
      std::all_of(std::begin(first), std::end(first), [](unsigned char b) { return b == 0; });
  if (firstIsTerminator) {
    // Header and terminator alone: what removing the last slide leaves.
    if (length == firstSlideOffset(0)) return fault;
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

  // Readers stop at an empty name or at a zero offset: the terminator must
  // be both, or they would see other slides than these.
  unsigned char terminator[kDirectoryEntrySize];
  fault.cause = platform::readExactly(library, kLibraryHeaderSize + count * kDirectoryEntrySize,
                                      terminator, sizeof terminator);
  if (!fault.cause.ok()) return refuse(kLibraryHeaderSize, "directory unreadable");
  if (std::any_of(std::begin(terminator), std::end(terminator),
                  [](unsigned char b) { return b; })) {
    return refuse(kLibraryHeaderSize + count * kDirectoryEntrySize, "directory not ended");
  }
  // The entries, read in pieces and checked as they come: memory grows with
  // the entries that are there, not with what the first offset claims.
  EntryPieces pieces(library, length);
  for (size_t i = 0; i < count; ++i) {
    const uint64_t at = kLibraryHeaderSize + i * kDirectoryEntrySize;
    const unsigned char* p = pieces.entry(at);
    fault.cause = pieces.cause();
    if (!p) return refuse(kLibraryHeaderSize, "directory unreadable");
    size_t within = 0;
    if (const char* wrong = takeEntry(p, length, directory, &within)) {
      return refuse(at + within, wrong);
    }
  }
  directory.entries.back().size =
      static_cast<int32_t>(length - static_cast<uint64_t>(directory.entries.back().offset));
  return fault;
}

platform::Status readDamagedDirectory(platform::File& library, uint64_t length,
                                      DamagedDirectory* directory) {
  directory->entries.clear();
  directory->outside.clear();
  platform::Status s = checkLibraryHeader(library);
  if (!s.ok()) return s;
  EntryPieces pieces(library, length);
  uint64_t directoryEnd = length;
  for (uint64_t at = kLibraryHeaderSize; at < directoryEnd; at += kDirectoryEntrySize) {
    const unsigned char* p = pieces.entry(at);
    if (!p) return pieces.cause();  // ok at the end of the file
    if (std::all_of(p, p + kDirectoryEntrySize, [](unsigned char b) { return b == 0; })) break;
    DamagedDirectory::Entry entry;
    entry.offset = static_cast<uint64_t>(static_cast<int64_t>(readInt32(p + kSlideNameSize)));
    const void* nameEnd = std::memchr(p, 0, kSlideNameSize);
    if (nameEnd)
      entry.name.assign(reinterpret_cast<const char*>(p),
                        static_cast<const unsigned char*>(nameEnd) - p);
    if (entry.offset <= at || entry.offset >= length) {
      directory->outside.push_back(std::move(entry));
      continue;
    }
    directoryEnd = std::min(directoryEnd, entry.offset);
    directory->entries.push_back(std::move(entry));
  }
  return s;
}

int findFirstSlide(const SlideDirectory& directory, std::string_view name) {
  const platform::AnsiCharacters chars;
  for (int i = 0; i < directory.count(); ++i) {
    if (platform::compareIgnoringCase(directory.entries[i].nameView(), name, chars) == 0) return i;
  }
  return -1;
}

WriteResult writeLibrary(platform::File& output, platform::File* library,
                         const std::vector<NewSlide>& added, const std::vector<int>& removed,
                         SlideDirectory& directory, platform::Status* cause) {
  std::vector<Piece> pieces;
  for (int i = 0; i < directory.count(); ++i) {
    if (std::find(removed.begin(), removed.end(), i) != removed.end()) continue;
    const DirectoryEntry& entry = directory.entries[i];
    pieces.push_back(Piece{entry.name, library, static_cast<uint64_t>(entry.offset),
                           static_cast<uint64_t>(entry.size)});
  }
  const platform::AnsiCharacters chars;
  for (const NewSlide& slide : added) {
    DirectoryEntry entry;
    entry.setName(slide.name);
    auto last = pieces.rend();
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
      const std::string_view stored(it->name.data(), strnlen(it->name.data(), kSlideNameSize));
      if (platform::compareIgnoringCase(stored, slide.name, chars) == 0) {
        last = it;
        break;
      }
    }
    if (last != pieces.rend()) {
      // The replaced entry keeps the name it was stored under.
      last->source = slide.file;
      last->from = 0;
      last->size = slide.length;
    } else {
      pieces.push_back(Piece{entry.name, slide.file, 0, slide.length});
    }
  }
  return writePieces(output, pieces, directory, cause);
}
