#include "vetrix/files/directory_tree.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"

namespace {

constexpr size_t kListingBlock = 1 << 16;

// The identities of the folders on the path being walked: a linked folder
// that leads back to one of them would make the walk endless.
using FolderPath = std::vector<std::pair<uint64_t, uint64_t>>;

bool onPath(const FolderPath& path, const platform::FileInfo& folder) {
  return std::find(path.begin(), path.end(), std::make_pair(folder.volume, folder.fileId)) !=
         path.end();
}

// A search that found nothing is no failure; any other is noted.
void noteUnread(ListingWriter& out, const platform::Status& s) {
  if (!s.ok() && s.kind() != platform::ErrorKind::kNotFound) out.noteUnread(s);
}

void walk(platform::Env& env, ListingWriter& out, std::u16string_view searchPath,
          FolderPath& path) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string folder = parts.drive + parts.dir;
  platform::FileInfo here;
  const platform::Status identified = env.fileInfo(folder.empty() ? u"." : folder, &here);
  const bool known = identified.ok();
  if (known) path.emplace_back(here.volume, here.fileId);
  writeFileLines(env, out, searchPath);
  std::vector<platform::DirEntry> entries;
  const platform::Status searched = env.findFiles(folder + u"*.*", false, &entries);
  noteUnread(out, identified);
  noteUnread(out, searched);
  if (searched.ok()) {
    for (const platform::DirEntry& entry : entries) {
      if (!entry.isDirectory || entry.name == u"." || entry.name == u"..") continue;
      platform::FileInfo linked;
      if (entry.isLink &&
          (!env.fileInfo(folder + entry.name, &linked).ok() || onPath(path, linked))) {
        continue;
      }
      walk(env, out, folder + entry.name + u"\\" + parts.name + parts.ext, path);
    }
  }
  if (known) path.pop_back();
}

}  // namespace

void listDirectoryTree(platform::Env& env, ListingWriter& out, std::u16string_view searchPath) {
  FolderPath path;
  walk(env, out, searchPath, path);
}

void writeFileLines(platform::Env& env, ListingWriter& out, std::u16string_view searchPath) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  std::vector<platform::DirEntry> entries;
  const platform::Status searched = env.findFiles(searchPath, true, &entries);
  noteUnread(out, searched);
  if (!searched.ok()) return;
  const std::string drive = platform::toAnsi(parts.drive);
  const std::string directory = platform::toAnsi(parts.dir);
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory || out.skips(entry.name)) continue;
    out.append(formatListingLine(platform::toAnsi(entry.name), entry.size, drive, directory));
  }
}

ListingResult writeListing(platform::Env& env, std::u16string_view searchPath,
                           std::u16string_view listing) {
  using Kind = ListingResult::Kind;
  platform::FileInfo info;
  platform::Status s = env.fileInfo(listing, &info);
  if (s.ok() && (info.readOnly || info.isDirectory)) {
    return {Kind::kNotOpened,
            platform::Status::error(platform::ErrorKind::kAccessDenied, 0, "open", listing)};
  }
  if (!s.ok() && s.kind() != platform::ErrorKind::kNotFound) return {Kind::kNotOpened, s};
  std::u16string target;
  s = env.resolveLink(listing, &target);
  if (!s.ok()) return {Kind::kNotOpened, s};
  const platform::PathParts parts = platform::splitPath(target);
  const std::u16string folder = parts.drive + parts.dir;
  std::u16string temporary;
  std::unique_ptr<platform::File> file;
  s = env.createTempFile(folder, u"~" + parts.name + parts.ext + u".", &temporary, &file);
  if (!s.ok()) return {Kind::kNotOpened, s};
  ListingWriter out(*file);
  out.skip(platform::splitPath(temporary).name + platform::splitPath(temporary).ext);
  listDirectoryTree(env, out, searchPath);
  s = out.flush();
  if (s.ok()) s = file->sync();
  const platform::Status closed = file->close();
  if (s.ok()) s = closed;
  if (s.ok()) s = env.replaceFile(temporary, target);
  if (!s.ok()) {
    env.removeFile(temporary);
    return {Kind::kWriteFailed, s};
  }
  // Replaced: a folder not read, or one that cannot be flushed, is only the
  // cause's business.
  const platform::Status synced = env.syncDirectory(folder);
  return {Kind::kWritten, out.unread().ok() ? synced : out.unread()};
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
  if (buffer_.size() >= kListingBlock) flush();
}

platform::Status ListingWriter::flush() {
  if (!buffer_.empty() && failure_.ok()) {
    failure_ = file_.write(offset_, buffer_.data(), buffer_.size());
    offset_ += buffer_.size();
  }
  buffer_.clear();
  return failure_;
}
