// File names on POSIX resolved with Windows habits: '\' between folders,
// letter case ignored where the exact name does not exist, drives ignored,
// names on disk in UTF-8 or, copied from Windows, in the ANSI code page.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"
#include "posix_internal.h"

namespace platform::posix {
namespace {

// Whether something is at `path` (not following a last link); a status
// that cannot be read is the error it is.
Status exists(const std::string& path, bool* found) {
  struct stat st;
  *found = ::lstat(path.c_str(), &st) == 0;
  if (*found || errno == ENOENT || errno == ENOTDIR) return Status();
  return posixError("stat", fromUtf8(path), errno);
}

}  // namespace

std::u16string decodeName(std::string_view bytes) {
  if (isValidUtf8(bytes)) return fromUtf8(bytes);
  std::u16string name = fromAnsi(bytes);
  std::string back;
  if (!toAnsiExact(name, &back) || back != bytes) return std::u16string();
  return name;
}

namespace {

// The names of the folders looked in while a NameCache lives: the hashes
// of their upper-case forms, sorted; 8 bytes a name.
using FolderNames = std::unordered_map<std::string, std::vector<size_t>>;
thread_local FolderNames* tFolderNames = nullptr;

size_t hashOf(std::u16string_view upper) {
  return std::hash<std::u16string_view>()(upper);
}

// The names of `folder` as hashes, read once while a NameCache lives; null
// when no NameCache does. A folder that cannot be listed holds none.
Status keptNames(const std::string& folder, const std::vector<size_t>** names) {
  *names = nullptr;
  if (!tFolderNames) return Status();
  auto it = tFolderNames->find(folder);
  if (it == tFolderNames->end()) {
    std::vector<size_t> hashes;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir && errno != EACCES && errno != ENOENT && errno != ENOTDIR) {
      return posixError("list", fromUtf8(folder), errno);
    }
    int error = 0;
    while (dir) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (!entry) {
        error = errno;
        break;
      }
      const std::u16string decoded = decodeName(entry->d_name);
      if (!decoded.empty()) hashes.push_back(hashOf(toUpperWide(decoded)));
    }
    if (dir) ::closedir(dir);
    if (error != 0) return posixError("list", fromUtf8(folder), error);
    std::sort(hashes.begin(), hashes.end());
    it = tFolderNames->emplace(folder, std::move(hashes)).first;
  }
  *names = &it->second;
  return Status();
}

// The entry of `directory` whose name equals `name` ignoring case by the
// simple Unicode case mapping, as Windows file systems compare names (Ａ and
// ａ, Ä and ä); the first in byte order when several do. A name holding a
// character that could not be decoded (U+FFFD) matches nothing this way:
// two names it stands for would become one.
Status findIgnoringCase(const std::string& directory, const std::string& name,
                        std::optional<std::string>* match) {
  match->reset();
  const std::u16string wanted = toUpperWide(fromUtf8(name));
  if (wanted.find(u'\uFFFD') != std::u16string::npos) return Status();
  const std::string folder = directory.empty() ? "." : directory;
  // A name no entry has ignoring case is not looked for again.
  const std::vector<size_t>* kept = nullptr;
  if (Status s = keptNames(folder, &kept); !s.ok()) return s;
  if (kept && !std::binary_search(kept->begin(), kept->end(), hashOf(wanted))) return Status();
  DIR* dir = ::opendir(folder.c_str());
  // A folder that may be entered but not listed: only exact names reach
  // its files.
  if (!dir && (errno == EACCES || errno == ENOENT || errno == ENOTDIR)) return Status();
  if (!dir) return posixError("list", fromUtf8(folder), errno);
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (!entry) break;
    std::string_view candidate(entry->d_name);
    const std::u16string decoded = decodeName(candidate);
    if (!decoded.empty() && toUpperWide(decoded) == wanted && (!*match || candidate < **match)) {
      *match = std::string(candidate);
    }
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) {
    match->reset();
    return posixError("list", fromUtf8(folder), error);
  }
  return Status();
}

// Windows ignores the dots and blanks that end a name: "a.txt." and
// "a.txt " are a.txt.
std::string trimNames(const std::string& path) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t slash = std::min(path.find('/', pos), path.size());
    std::string name = path.substr(pos, slash - pos);
    if (name != "." && name != "..") {
      const size_t keep = name.find_last_not_of(". ");
      if (keep != std::string::npos) name.resize(keep + 1);
    }
    out += name;
    if (slash == path.size()) return out;
    out += '/';
    pos = slash + 1;
  }
}

// A path resolved by its text, as Windows resolves it (GetFullPathNameW):
// "." segments go, and ".." takes the segment before it away, whether or
// not that segment names a folder that exists.
std::string removeDotSegments(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  const bool folder = path.size() > 1 && path.back() == '/';
  std::vector<std::string> kept;
  size_t pos = 0;
  while (pos <= path.size()) {
    const size_t slash = std::min(path.find('/', pos), path.size());
    const std::string name = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!kept.empty() && kept.back() != "..") {
        kept.pop_back();
      } else if (!absolute) {
        kept.push_back(name);  // above the current folder
      }
      continue;
    }
    kept.push_back(name);
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) out += (i ? "/" : "") + kept[i];
  if (out.empty()) return path.empty() ? path : ".";
  if (folder && out.back() != '/') out += '/';
  return out;
}

}  // namespace

namespace {

// The kept names of the folder of `native`, or null; *hash receives the
// hash of its last name.
std::vector<size_t>* keptFolderOf(const std::string& native, size_t* hash) {
  if (!tFolderNames) return nullptr;
  const size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  auto it = tFolderNames->find(folder);
  if (it == tFolderNames->end()) return nullptr;
  const std::u16string name = decodeName(native.substr(slash == std::string::npos ? 0 : slash + 1));
  *hash = hashOf(toUpperWide(name));
  return &it->second;
}

}  // namespace

NamesChange::~NamesChange() {
  if (!known_ && tFolderNames) tFolderNames->clear();
}

void NamesChange::made(const std::string& native) {
  known_ = true;
  size_t hash = 0;
  if (std::vector<size_t>* kept = keptFolderOf(native, &hash)) {
    kept->insert(std::upper_bound(kept->begin(), kept->end(), hash), hash);
  }
}

// A hash that stays after its name went only costs a look at the folder.
void NamesChange::removed(const std::string& native) {
  known_ = true;
  size_t hash = 0;
  if (std::vector<size_t>* kept = keptFolderOf(native, &hash)) {
    auto at = std::lower_bound(kept->begin(), kept->end(), hash);
    if (at != kept->end() && *at == hash) kept->erase(at);
  }
}

Status nativePath(const char* operation, std::u16string_view path, std::string* native) {
  if (Status bad = checkName(operation, path); !bad.ok()) return bad;
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(2);  // drives name nothing here
  std::string given = toUtf8(path);
  std::replace(given.begin(), given.end(), '\\', '/');
  given = removeDotSegments(trimNames(given));
  bool found = given.empty();
  if (!found) {
    if (Status s = exists(given, &found); !s.ok()) return s;
  }
  if (found) {
    *native = given;
    return Status();
  }

  // Resolve component by component, ignoring letter case where the exact
  // name does not exist.
  std::string resolved;
  size_t pos = 0;
  if (given[0] == '/') {
    resolved = "/";
    pos = 1;
  }
  while (pos <= given.size()) {
    size_t slash = given.find('/', pos);
    if (slash == std::string::npos) slash = given.size();
    std::string component = given.substr(pos, slash - pos);
    const bool last = slash == given.size();
    if (!component.empty()) {
      std::string candidate = resolved + component;
      bool there = component == "." || component == "..";
      if (!there) {
        if (Status s = exists(candidate, &there); !s.ok()) return s;
      }
      if (!there) {
        std::optional<std::string> match;
        Status s = findIgnoringCase(resolved.empty() ? "." : resolved, component, &match);
        if (!s.ok()) return s;
        if (!match) {  // the rest does not exist
          *native = resolved + given.substr(pos);
          return Status();
        }
        candidate = resolved + *match;
      }
      resolved = candidate;
    }
    if (!last) resolved += '/';
    pos = slash + 1;
  }
  *native = resolved;
  return Status();
}

// Windows refuses names holding * ? " < > | or a control character, and
// takes device names and ':' streams for something else than files; so
// does this platform, which could store them all.
Status checkName(const char* operation, std::u16string_view path) {
  for (char16_t c : path) {
    if (c < 0x20 || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|') {
      return posixError(operation, path, EINVAL);
    }
  }
  if (isReservedName(path)) return posixError(operation, path, EINVAL);
  return Status();
}

Status directoryPath(const char* operation, std::u16string_view directory, std::string* native) {
  Status s = nativePath(operation, directory, native);
  if (s.ok() && native->empty()) *native = ".";
  return s;
}

}  // namespace platform::posix

namespace platform {

NameCache::NameCache() {
  if (posix::tFolderNames) return;
  posix::tFolderNames = new posix::FolderNames();
  owner_ = true;
}

NameCache::~NameCache() {
  if (!owner_) return;
  delete posix::tFolderNames;
  posix::tFolderNames = nullptr;
}

}  // namespace platform
