#include "vetrix/files/directory_tree.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <set>
#include <vector>

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

platform::Status walk(platform::Env& env, ListingWriter& out, std::u16string_view searchPath,
                      Visited& visited) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string folder = parts.drive + parts.dir;
  platform::FileInfo here;
  platform::Status s = env.fileInfo(folder.empty() ? u"." : folder, &here);
  if (!s.ok()) return unlessAbsent(s);
  if (!visited.emplace(here.volume, here.fileId).second) return s;
  s = writeFileLines(env, out, searchPath);
  std::vector<platform::DirEntry> entries;
  if (s.ok()) s = unlessAbsent(platform::findFiles(env, folder + u"*.*", false, &entries));
  for (size_t i = 0; s.ok() && i < entries.size(); ++i) {
    const platform::DirEntry& entry = entries[i];
    if (!entry.isDirectory || entry.name == u"." || entry.name == u"..") continue;
    s = walk(env, out, folder + entry.name + u"\\" + parts.name + parts.ext, visited);
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
  const platform::PathParts parts = platform::splitPath(searchPath);
  std::vector<platform::DirEntry> entries;
  const platform::Status searched = platform::findFiles(env, searchPath, true, &entries);
  if (!searched.ok()) return unlessAbsent(searched);
  const std::string drive = platform::toAnsi(parts.drive);
  const std::string directory = platform::toAnsi(parts.dir);
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory || out.skips(entry.name)) continue;
    out.append(formatListingLine(platform::toAnsi(entry.name), entry.size, drive, directory));
  }
  return platform::Status();
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

std::string formatListingLine(std::string_view name, uint64_t size, std::string_view drive,
                              std::string_view directory) {
  std::string line;
  if (name.size() < 12) line.append(12 - name.size(), ' ');
  line.append(name);
  char number[24];
  std::snprintf(number, sizeof number, " %10" PRId32 " ",
                static_cast<int32_t>(static_cast<uint32_t>(size)));
  line.append(number);
  line.append(drive);
  line.append(directory);
  line.append("\r\n");
  return line;
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
