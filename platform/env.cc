// File-service helpers and statuses, the same on every platform.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"

namespace platform {

std::string Status::toString() const {
  if (ok()) return "ok";
  static const char* const kKinds[] = {"ok",           "not found",          "access denied",
                                       "busy",         "already exists",     "no space left",
                                       "invalid name", "input/output error", "not in its format",
                                       "failed"};
  static_assert(sizeof kKinds / sizeof kKinds[0] == static_cast<size_t>(ErrorKind::kOther) + 1);
  std::string text = operation_ + " " + toUtf8(path_) + ": " + kKinds[static_cast<int>(kind_)];
  if (systemError_ != 0) {
    text += " (system error " + std::to_string(systemError_) + ": " +
            systemErrorText(systemError_) + ")";
  }
  return text;
}

void reportCause(const Status& status) {
  const char* wanted = std::getenv("ZC_DIAGNOSTICS");
  if (status.ok() || !wanted || !*wanted) return;
  std::fflush(stdout);
  std::fprintf(stderr, "; cause: %s\n", status.toString().c_str());
  std::fflush(stderr);
}

Status File::copyFrom(File& source, uint64_t sourceOffset, uint64_t offset, uint64_t n) {
  constexpr size_t kBlock = size_t{1} << 17;
  std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(n, kBlock)));
  while (n > 0) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(n, buffer.size()));
    Status s = readExactly(source, sourceOffset, buffer.data(), piece);
    if (s.ok()) s = write(offset, buffer.data(), piece);
    if (!s.ok()) return s;
    sourceOffset += piece;
    offset += piece;
    n -= piece;
  }
  return Status();
}

Status Env::scanFolder(std::u16string_view folder, FolderScan& scan) {
  std::vector<DirEntry> entries;
  Status s = listFolder(folder, true, &entries);
  if (!s.ok()) return s;
  for (const DirEntry& entry : entries) scan.take(entry);
  return Status();
}

Status findFiles(Env& env, std::u16string_view pattern, bool wantSizes,
                 std::vector<DirEntry>* entries) {
  entries->clear();
  const PathParts parts = splitPath(pattern);
  const std::u16string last = parts.name + parts.ext;
  std::vector<DirEntry> all;
  Status s = env.listFolder(parts.drive + parts.dir, wantSizes, &all);
  if (!s.ok()) return s;
  std::vector<DirEntry> found;
  for (const char16_t* dots : {u".", u".."}) {
    if (matchesPattern(last, dots)) {
      DirEntry entry;
      entry.name = dots;
      entry.isDirectory = true;
      found.push_back(std::move(entry));
    }
  }
  for (DirEntry& entry : all) {
    if (matchesPattern(last, entry.name)) found.push_back(std::move(entry));
  }
  if (found.empty()) return Status::error(ErrorKind::kNotFound, 0, "find", pattern);
  sortByName(&found);
  *entries = std::move(found);
  return Status();
}

Status readFully(File& file, uint64_t offset, void* data, size_t n, size_t* got) {
  auto* out = static_cast<unsigned char*>(data);
  *got = 0;
  while (*got < n) {
    size_t piece = 0;
    Status s = file.read(offset + *got, out + *got, n - *got, &piece);
    if (!s.ok()) return s;
    if (piece == 0) break;
    *got += piece;
  }
  return Status();
}

Status readExactly(File& file, uint64_t offset, void* data, size_t n) {
  size_t done = 0;
  Status s = readFully(file, offset, data, n, &done);
  if (s.ok() && done < n) {
    return Status::error(ErrorKind::kIoError, 0,
                         "read " + std::to_string(n) + " bytes at " + std::to_string(offset) +
                             " (" + std::to_string(done) + " read: the file ends there) from",
                         file.path());
  }
  return s;
}

Status readWholeFile(Env& env, std::u16string_view path, std::string* bytes) {
  std::unique_ptr<File> file;
  Status s = env.openFile(path, OpenMode::kRead, &file);
  uint64_t size = 0;
  if (s.ok()) s = file->size(&size);
  if (s.ok()) {
    bytes->assign(static_cast<size_t>(size), '\0');
    s = readExactly(*file, 0, bytes->data(), bytes->size());
  }
  if (file) (void)file->close();  // what was read is whole, whatever closing says
  return s;
}

void writeStandardOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace platform
