#include "vetrix/files/file_functions.h"

#include <cinttypes>
#include <cstdio>

#include "frame/frame.h"

namespace {

constexpr size_t kListingBlock = 1 << 16;

}  // namespace

int Delfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  const std::u16string path(argText(args));
  zcutPrintf(u"\nDELETE->%s", path.c_str());
  if (!platform::Env::current()->removeFile(path)) zcutPrintf(u"\nDELETE FAIL");
  return 1;
}

int Copyfile(const ResultBuffer* args) {
  if (!args) return 1;
  if (!isString(args) || !args->rbnext) return kRtError;
  const std::u16string from(argText(args));
  const ResultBuffer* second = args->rbnext;
  if (!isString(second)) return kRtError;
  const std::u16string to(argText(second));
  zcutPrintf(u"\nCOPY %s %s", from.c_str(), to.c_str());
  if (!platform::Env::current()->copyFile(from, to)) {
    zcutPrintf(u"\nCOPY FAIL!");
    return kRtError;
  }
  return 1;
}

int Dirfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  std::unique_ptr<platform::File> file =
      platform::Env::current()->openFile(u"dirfile", platform::OpenMode::kCreateTruncate);
  if (!file) {
    zcutPrintf(u"\nOPEN DIRFILE FAIL");
    return kRtError;
  }
  ListingWriter out(*file);
  listDirectoryTree(out, argText(args));
  out.flush();
  file->close();
  return 1;
}

void listDirectoryTree(ListingWriter& out, std::u16string_view searchPath) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  const std::u16string subdirectories = parts.drive + parts.dir + u"*.*";
  writeFileLines(out, searchPath);
  std::vector<platform::DirEntry> entries;
  if (!platform::Env::current()->findFiles(subdirectories, false, &entries)) return;
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory || entry.isLink || entry.name == u"." || entry.name == u"..") continue;
    listDirectoryTree(out, parts.drive + parts.dir + entry.name + u"\\" + parts.name + parts.ext);
  }
}

void writeFileLines(ListingWriter& out, std::u16string_view searchPath) {
  const platform::PathParts parts = platform::splitPath(searchPath);
  std::vector<platform::DirEntry> entries;
  if (!platform::Env::current()->findFiles(searchPath, true, &entries)) return;
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

bool ListingWriter::flush() {
  if (!buffer_.empty() && !failed_) {
    failed_ = !file_.write(offset_, buffer_.data(), buffer_.size());
    offset_ += buffer_.size();
  }
  buffer_.clear();
  return !failed_;
}
