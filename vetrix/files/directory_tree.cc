#include "vetrix/files/directory_tree.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"

namespace {

constexpr size_t kListingBlock = 1 << 16;

}  // namespace

void listDirectoryTree(platform::Env& env, ListingWriter& out, std::u16string_view searchPath) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string subdirectories = parts.drive + parts.dir + u"*.*";
  writeFileLines(env, out, searchPath);
  std::vector<platform::DirEntry> entries;
  if (!env.findFiles(subdirectories, false, &entries).ok()) return;
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory || entry.isLink || entry.name == u"." || entry.name == u"..") continue;
    listDirectoryTree(env, out,
                      parts.drive + parts.dir + entry.name + u"\\" + parts.name + parts.ext);
  }
}

void writeFileLines(platform::Env& env, ListingWriter& out, std::u16string_view searchPath) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  std::vector<platform::DirEntry> entries;
  if (!env.findFiles(searchPath, true, &entries).ok()) return;
  const std::string drive = platform::toAnsi(parts.drive);
  const std::string directory = platform::toAnsi(parts.dir);
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    out.append(formatListingLine(platform::toAnsi(entry.name), entry.size, drive, directory));
  }
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
