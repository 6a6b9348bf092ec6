#include "vetrix/files/directory_tree.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "platform/case_map.h"
#include "platform/file_writes.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

constexpr size_t kListingBlock = 1 << 16;

// The identities of the folders a walk has listed. A folder reached again,
// through a link that leads back up the tree or through a second link to
// it, is not listed again: the walk ends, and takes time in proportion to
// the folders there are, however links fan out.
using Visited = std::set<std::pair<uint64_t, uint64_t>>;

// A folder that is not there (or vanished during the walk) holds nothing to
// list; any other failure to read one ends the walk.
platform::Status unlessAbsent(const platform::Status& s) {
  return s.kind() == platform::ErrorKind::kNotFound ? platform::Status() : s;
}

// Sort keys that compare as bytes (memcmp) in the order platform::sortByName
// gives: a name's code units upper-cased, a 00 byte, then its own code
// units, each unit written so that byte order is code-unit order: 01-7F as
// one byte, 0080-3FFF as two (80-BF and the low byte), 4000-FFFF as three
// (C0, high byte, low byte). No unit starts with a 00 byte, so a name that
// is a prefix of another sorts first, as it does by code units.
template <typename Map>
void appendUnits(std::string* key, std::u16string_view units, Map map) {
  for (const char16_t given : units) {
    const char16_t unit = map(given);
    if (unit < 0x80) {
      key->push_back(static_cast<char>(unit));
    } else if (unit < 0x4000) {
      key->push_back(static_cast<char>(0x80 | (unit >> 8)));
      key->push_back(static_cast<char>(unit & 0xFF));
    } else {
      key->push_back(static_cast<char>(0xC0));
      key->push_back(static_cast<char>(unit >> 8));
      key->push_back(static_cast<char>(unit & 0xFF));
    }
  }
}

// How many bytes the unit that starts with `first` takes.
size_t unitBytes(unsigned char first) {
  return first < 0x80 ? 1 : first < 0xC0 ? 2 : 3;
}

// The name a key was made from: the units after the 00 byte that ends the
// upper-cased ones (a 00 byte inside a unit ends nothing).
void nameOfKey(std::string_view key, std::u16string* name) {
  name->clear();
  size_t at = 0;
  while (key[at] != '\0') at += unitBytes(static_cast<unsigned char>(key[at]));
  ++at;
  while (at < key.size()) {
    const auto b = static_cast<unsigned char>(key[at]);
    if (b < 0x80) {
      name->push_back(b);
      at += 1;
    } else if (b < 0xC0) {
      name->push_back(
          static_cast<char16_t>((b & 0x3F) << 8 | static_cast<unsigned char>(key[at + 1])));
      at += 2;
    } else {
      name->push_back(static_cast<char16_t>(static_cast<unsigned char>(key[at + 1]) << 8 |
                                            static_cast<unsigned char>(key[at + 2])));
      at += 3;
    }
  }
}

// Names of one folder with a number each (a file's size), sorted as
// sortByName sorts. Each is one record in blocks of bytes, its 4-byte
// number, 2-byte key length and key: some 40 bytes a name, and no block is
// ever copied, so that a folder of a million files is sorted in a few tens
// of megabytes.
class SortedNames {
 public:
  void add(std::u16string_view name, uint32_t number) {
    key_.clear();
    // Upper case as toUpperWide gives it, a unit at a time.
    appendUnits(&key_, name, platform::windowsUpper);
    key_.push_back('\0');
    appendUnits(&key_, name, [](char16_t unit) { return unit; });
    const size_t size = kHead + key_.size();
    if (blocks_.empty() || blocks_.back().size() + size > kBlockSize) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlockSize);
    }
    std::string& block = blocks_.back();
    records_.push_back(static_cast<uint64_t>(blocks_.size() - 1) << 32 | block.size());
    char head[kHead];
    std::memcpy(head, &number, 4);
    const auto length = static_cast<uint16_t>(key_.size());
    std::memcpy(head + 4, &length, 2);
    block.append(head, kHead);
    block.append(key_);
  }

  void sort() {
    std::sort(records_.begin(), records_.end(),
              [this](uint64_t a, uint64_t b) { return key(a) < key(b); });
  }

  size_t size() const { return records_.size(); }
  // The i-th name in order and its number.
  uint32_t at(size_t i, std::u16string* name) const {
    nameOfKey(key(records_[i]), name);
    uint32_t number;
    std::memcpy(&number, record(records_[i]), 4);
    return number;
  }

 private:
  static constexpr size_t kHead = 6;
  static constexpr size_t kBlockSize = size_t{1} << 20;

  const char* record(uint64_t r) const {
    return blocks_[static_cast<size_t>(r >> 32)].data() + static_cast<uint32_t>(r);
  }
  std::string_view key(uint64_t r) const {
    const char* p = record(r);
    uint16_t length;
    std::memcpy(&length, p + 4, 2);
    return std::string_view(p + kHead, length);
  }

  std::vector<std::string> blocks_;
  std::vector<uint64_t> records_;  // block index and offset of each record
  std::string key_;
};

// One read of a folder: the files whose names match the last component of
// the search path (their sizes read, and nobody else's), and the
// subfolders.
class FolderReader : public platform::FolderScan {
 public:
  FolderReader(std::u16string_view pattern, const ListingWriter& out, bool wantFolders)
      : pattern_(pattern), out_(out), wantFolders_(wantFolders) {}

  bool wantsSize(std::u16string_view name) override {
    asked_.assign(name);
    wanted_ = listed(name);
    return wanted_;
  }
  void take(const platform::DirEntry& entry) override {
    if (entry.isDirectory) {
      if (wantFolders_) folders.add(entry.name, 0);
      return;
    }
    const bool match = entry.name == asked_ ? wanted_ : listed(entry.name);
    asked_.clear();
    if (match) files.add(entry.name, static_cast<uint32_t>(entry.size));
  }

  SortedNames files, folders;

 private:
  bool listed(std::u16string_view name) const {
    return platform::matchesPattern(pattern_, name) && !out_.skips(name);
  }

  std::u16string_view pattern_;
  const ListingWriter& out_;
  bool wantFolders_;
  std::u16string asked_;
  bool wanted_ = false;
};

// Reads the folder of `searchPath` once and writes the lines of its
// matching files; `folders` receives its subfolders, sorted, when given.
platform::Status listFolder(platform::Env& env, ListingWriter& out, std::u16string_view searchPath,
                            SortedNames* folders) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string pattern = parts.name + parts.ext;
  FolderReader reader(pattern, out, folders != nullptr);
  const platform::Status s = env.scanFolder(parts.drive + parts.dir, reader);
  if (!s.ok()) return unlessAbsent(s);
  reader.files.sort();
  const std::string drive = platform::toAnsi(parts.drive);
  const std::string directory = platform::toAnsi(parts.dir);
  std::u16string name;
  std::string ansi;
  for (size_t i = 0; i < reader.files.size(); ++i) {
    const uint32_t size = reader.files.at(i, &name);
    // An ASCII name is its own ANSI form in every code page.
    if (std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; })) {
      ansi.assign(name.begin(), name.end());
    } else {
      ansi = platform::toAnsi(name);
    }
    out.appendLine(ansi, size, drive, directory);
  }
  if (folders) {
    reader.folders.sort();
    *folders = std::move(reader.folders);
  }
  return platform::Status();
}

platform::Status walk(platform::Env& env, ListingWriter& out, std::u16string_view searchPath,
                      Visited& visited) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string folder = parts.drive + parts.dir;
  platform::FileInfo here;
  platform::Status s = env.fileInfo(folder.empty() ? u"." : folder, &here);
  if (!s.ok()) return unlessAbsent(s);
  if (!visited.emplace(here.volume, here.fileId).second) return s;
  SortedNames subfolders;
  s = listFolder(env, out, searchPath, &subfolders);
  std::u16string name;
  for (size_t i = 0; s.ok() && i < subfolders.size(); ++i) {
    (void)subfolders.at(i, &name);
    s = walk(env, out, folder + name + u"\\" + parts.name + parts.ext, visited);
  }
  return s;
}

}  // namespace

platform::Status listDirectoryTree(platform::Env& env, ListingWriter& out,
                                   std::u16string_view searchPath) {
  Visited visited;
  return walk(env, out, searchPath, visited);
}

platform::Status writeFileLines(platform::Env& env, ListingWriter& out,
                                std::u16string_view searchPath) {
  return listFolder(env, out, searchPath, nullptr);
}

ListingResult writeListing(platform::Env& env, std::u16string_view searchPath,
                           std::u16string_view listing) {
  using Kind = ListingResult::Kind;
  platform::NewFile file(env);
  platform::Status s = file.begin(listing);
  if (!s.ok()) return {Kind::kNotOpened, s, platform::Published::kNo, std::u16string()};
  const platform::PathParts parts = platform::splitPath(file.targetPath());
  ListingWriter out(file.file(), parts.name + parts.ext);
  s = listDirectoryTree(env, out, searchPath);
  if (s.ok()) s = out.flush();
  if (s.ok()) s = file.publish();
  return {s.ok() ? Kind::kWritten : Kind::kWriteFailed, s, file.published(), file.keptPath()};
}

namespace {

void appendListingLine(std::string* line, std::string_view name, uint64_t size,
                       std::string_view drive, std::string_view directory) {
  if (name.size() < 12) line->append(12 - name.size(), ' ');
  line->append(name);
  // " %10d ": the low 32 bits as a signed number, right-aligned to 10.
  const auto value = static_cast<int32_t>(static_cast<uint32_t>(size));
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[12];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (value < 0) digits[n++] = '-';
  line->push_back(' ');
  if (n < 10) line->append(10 - n, ' ');
  while (n > 0) line->push_back(digits[--n]);
  line->push_back(' ');
  line->append(drive);
  line->append(directory);
  line->append("\r\n");
}

}  // namespace

std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory) {
  std::string line;
  appendListingLine(&line, name, size, drive, directory);
  return line;
}

void ListingWriter::appendLine(std::string_view name, uint64_t size, std::string_view drive,
                               std::string_view directory) {
  appendListingLine(&buffer_, name, size, drive, directory);
  // A failure is kept, and the last flush reports it.
  if (buffer_.size() >= kListingBlock) (void)flush();
}

void ListingWriter::append(std::string_view line) {
  buffer_.append(line);
  // A failure is kept, and the last flush reports it.
  if (buffer_.size() >= kListingBlock) (void)flush();
}

platform::Status ListingWriter::flush() {
  if (!buffer_.empty() && failure_.ok()) {
    failure_ = file_.write(offset_, buffer_.data(), buffer_.size());
    offset_ += buffer_.size();
  }
  buffer_.clear();
  return failure_;
}
