// POSIX implementation of the platform services: Windows' own tables for
// code pages 950 and 936 and for case mapping, iconv for other code pages,
// and file names in UTF-8 resolved with Windows habits ('\' separators, case
// ignored, drive ignored).
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <thread>

#include "platform/ascii.h"
#include "platform/case_map.h"
#include "platform/double_byte.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"
#include "temporary_registry.h"

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the native char16_t order");

namespace platform {
namespace {

// ---------------------------------------------------------------- code pages

std::string iconvName(int codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 10029:
      return "MAC-CENTRALEUROPE";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// Conversion descriptors, opened once per code page and direction.
struct ConverterCache {
  std::map<std::pair<int, bool>, iconv_t> open;
  ~ConverterCache() {
    for (auto& entry : open) ::iconv_close(entry.second);
  }
};

iconv_t converter(int codePage, bool toUnicode) {
  static thread_local ConverterCache cache;
  auto key = std::make_pair(codePage, toUnicode);
  auto it = cache.open.find(key);
  if (it != cache.open.end()) return it->second;
  std::string name = iconvName(codePage);
  iconv_t cd =
      toUnicode ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // An unknown code page falls back to Windows Latin 1.
    cd = toUnicode ? iconv_open("UTF-16LE", "CP1252") : iconv_open("CP1252", "UTF-16LE");
  }
  cache.open[key] = cd;
  return cd;
}

// ---------------------------------------------------------------- temporary files

// The temporary files this process has made and not yet renamed or
// removed, for the signal handler to remove.
TemporaryRegistry<char> temporaries;

// Every copy of this layer (the program's, and each module's) keeps its own
// slots; a program that asked for the cleanup (see
// removeTemporaryFilesOnSignals) says so in the environment, and each copy
// then puts its handler in front of the ones before it.
constexpr char kCleanupVariable[] = "ZC_REMOVE_TEMPORARIES_ON_SIGNALS";
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3];
std::atomic<bool> handlersInstalled{false};

void removeTemporariesAndDie(int signal) {
  temporaries.removeAll([](const char* path) { ::unlink(path); });
  for (size_t i = 0; i < 3; ++i) {
    if (kCleanupSignals[i] != signal) continue;
    const struct sigaction& previous = previousActions[i];
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);  // the next copy's handler, which ends the process
      return;
    }
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void installCleanupHandlers() {
  if (handlersInstalled.exchange(true)) return;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = removeTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) ::sigaction(kCleanupSignals[i], &action, &previousActions[i]);
}

// A module's copy is unloaded before the program ends: its handlers, if
// still the ones in place, give way to those they put aside, so that no
// signal ever jumps into unloaded code.
struct CleanupHandlersRemover {
  ~CleanupHandlersRemover() {
    if (!handlersInstalled.load()) return;
    for (size_t i = 0; i < 3; ++i) {
      struct sigaction current;
      if (::sigaction(kCleanupSignals[i], nullptr, &current) == 0 &&
          !(current.sa_flags & SA_SIGINFO) && current.sa_handler == removeTemporariesAndDie) {
        ::sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
      }
    }
  }
} cleanupHandlersRemover;

// Holds the cleanup signals back while a temporary file is made and noted,
// so that none can come between the two and leave the file behind.
class TemporaryBeingMade {
 public:
  TemporaryBeingMade() {
    if (std::getenv(kCleanupVariable)) installCleanupHandlers();
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kCleanupSignals) sigaddset(&set, signal);
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~TemporaryBeingMade() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TemporaryBeingMade(const TemporaryBeingMade&) = delete;
  TemporaryBeingMade& operator=(const TemporaryBeingMade&) = delete;

 private:
  sigset_t previous_;
};

// A temporary file is noted by the path it was made with ("./~a.slb...")
// and forgotten by the path it is later named by ("~a.slb..."): both
// without a leading "./", so that the two meet.
std::string registryPath(const std::string& native) {
  return native.starts_with("./") ? native.substr(2) : native;
}

void noteTemporary(const std::string& native) {
  temporaries.note(registryPath(native));
}

void forgetTemporary(const std::string& native) {
  temporaries.forget(registryPath(native));
}

// ---------------------------------------------------------------- paths

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// A name as it is on the disk: UTF-8, or else, as names copied from
// Windows (Big5, GBK) are, in the ANSI code page. Empty when it is neither:
// such a name is one no text can name.
std::u16string decodeName(std::string_view bytes) {
  if (isValidUtf8(bytes)) return fromUtf8(bytes);
  std::u16string name = fromAnsi(bytes);
  std::string back;
  if (!toAnsiExact(name, &back) || back != bytes) return std::u16string();
  return name;
}

// The entry of `directory` whose name equals `name` ignoring case by the
// simple Unicode case mapping, as Windows file systems compare names (Ａ and
// ａ, Ä and ä); the first in byte order when several do. A name holding a
// character that could not be decoded (U+FFFD) matches nothing this way:
// two names it stands for would become one.
std::optional<std::string> findIgnoringCase(const std::string& directory, const std::string& name) {
  const std::u16string wanted = toUpperWide(fromUtf8(name));
  if (wanted.find(u'\uFFFD') != std::u16string::npos) return std::nullopt;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view candidate(entry->d_name);
    const std::u16string decoded = decodeName(candidate);
    if (!decoded.empty() && toUpperWide(decoded) == wanted && (!best || candidate < *best)) {
      best = std::string(candidate);
    }
  }
  ::closedir(dir);
  return best;
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

// The file-system name for a path given in the host's form.
std::string nativePath(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(2);  // drives name nothing here
  std::string given = toUtf8(path);
  std::replace(given.begin(), given.end(), '\\', '/');
  given = removeDotSegments(trimNames(given));
  if (given.empty() || exists(given)) return given;

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
      if (component != "." && component != ".." && !exists(candidate)) {
        std::optional<std::string> match =
            findIgnoringCase(resolved.empty() ? "." : resolved, component);
        if (!match) return resolved + given.substr(pos);  // the rest does not exist
        candidate = resolved + *match;
      }
      resolved = candidate;
    }
    if (!last) resolved += '/';
    pos = slash + 1;
  }
  return resolved;
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

// A file nobody may write: no write bit at all. Windows refuses to change a
// file with the read-only attribute whoever asks, so the POSIX services
// refuse such a file for root too.
bool isReadOnly(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string directoryPath(std::u16string_view directory) {
  std::string native = nativePath(directory);
  return native.empty() ? std::string(".") : native;
}

// ---------------------------------------------------------------- files

ErrorKind kindOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENODEV:  // a FIFO, socket or device where a file was expected
    case EROFS:
      return ErrorKind::kAccessDenied;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
      return ErrorKind::kBusy;
    case EEXIST:
      return ErrorKind::kExists;
    case ENOSPC:
    case EDQUOT:
      return ErrorKind::kNoSpace;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return ErrorKind::kInvalidName;
    case EIO:
      return ErrorKind::kIoError;
    default:
      return ErrorKind::kOther;
  }
}

Status lastError(const char* operation, std::u16string_view path) {
  return posixError(operation, path, errno);
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::u16string_view path) : fd_(fd), path_(path) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    for (;;) {
      ssize_t r = ::pread(fd_, data, n, static_cast<off_t>(offset));
      if (r >= 0) {
        *got = static_cast<size_t>(r);
        return Status();
      }
      if (errno != EINTR) return lastError("read", path_);
    }
  }

  Status write(uint64_t offset, const void* data, size_t n) override {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
      ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
      if (w < 0) {
        if (errno == EINTR) continue;
        return lastError("write", path_);
      }
      if (w == 0) return posixError("write", path_, EIO);
      p += w;
      n -= static_cast<size_t>(w);
      offset += static_cast<uint64_t>(w);
    }
    return Status();
  }

  Status size(uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return lastError("stat", path_);
    *size = static_cast<uint64_t>(st.st_size);
    return Status();
  }

  Status truncate(uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? Status()
                                                           : lastError("truncate", path_);
  }

  Status sync() override { return ::fsync(fd_) == 0 ? Status() : lastError("sync", path_); }
  std::u16string path() const override { return path_; }

  Status lock(uint64_t offset, uint64_t length, int timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    // Open-file-description locks belong to this handle, as Windows' do: a
    // second handle in this process neither shares nor drops them. Kernels
    // before 3.15 have only the process's own locks.
    int command = F_OFD_SETLK;
    for (;;) {
      if (::fcntl(fd_, command, &lock) == 0) return Status();
      if (errno == EINVAL && command == F_OFD_SETLK) {
        command = F_SETLK;
        continue;
      }
      if (errno != EACCES && errno != EAGAIN && errno != EINTR) return lastError("lock", path_);
      if (std::chrono::steady_clock::now() >= deadline) return posixError("lock", path_, EAGAIN);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  Status identify(uint64_t* volume, uint64_t* fileId) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return lastError("stat", path_);
    *volume = static_cast<uint64_t>(st.st_dev);
    *fileId = static_cast<uint64_t>(st.st_ino);
    return Status();
  }

  Status close() override {
    if (fd_ < 0) return Status();
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? Status() : lastError("close", path_);
  }

 private:
  int fd_;
  std::u16string path_;
};

class PosixEnv : public Env {
 public:
  Status findFiles(std::u16string_view pattern, bool wantSizes,
                   std::vector<DirEntry>* entries) override {
    entries->clear();
    PathParts parts = splitPath(pattern);
    const std::u16string last = parts.name + parts.ext;
    if (Status bad = checkName("find", parts.dir); !bad.ok()) return bad;
    const std::string dirPath = directoryPath(parts.drive + parts.dir);
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return lastError("find", pattern);
    const int dirFd = ::dirfd(dir);
    std::vector<DirEntry> found;
    while (dirent* e = ::readdir(dir)) {
      std::u16string name = decodeName(e->d_name);
      // A name no text can name, or one holding a control character (no
      // Windows name does; a line break would split a listing line), is
      // not listed.
      if (name.empty() ||
          std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; })) {
        continue;
      }
      if (!matchesPattern(last, name)) continue;
      DirEntry entry;
      entry.name = std::move(name);
      unsigned char type = e->d_type;
      struct stat st;
      if (type == DT_UNKNOWN || type == DT_LNK || (type == DT_REG && wantSizes)) {
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
          entry.isLink = true;
          // A link reports its target's kind and size, as a Windows link
          // reports the directory bit.
          struct stat target;
          if (::fstatat(dirFd, e->d_name, &target, 0) == 0) st = target;
        }
        entry.isDirectory = S_ISDIR(st.st_mode);
        if (!entry.isDirectory && wantSizes) entry.size = static_cast<uint64_t>(st.st_size);
      } else {
        entry.isDirectory = type == DT_DIR;
      }
      found.push_back(std::move(entry));
    }
    ::closedir(dir);
    if (found.empty()) return posixError("find", pattern, ENOENT);
    // In the order NTFS keeps names, so that listings read the same on both
    // platforms.
    sortByName(&found);
    *entries = std::move(found);
    return Status();
  }

  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    if (Status bad = checkName("stat", path); !bad.ok()) return bad;
    std::string native = nativePath(path);
    if (native.empty() && !path.empty()) native = ".";  // a drive alone: the current folder
    struct stat st;
    // An empty name names nothing; errno would still hold an older failure.
    if (path.empty()) return posixError("stat", path, ENOENT);
    if (::lstat(native.c_str(), &st) != 0) return lastError("stat", path);
    *info = FileInfo();
    if (S_ISLNK(st.st_mode)) {
      info->isLink = true;
      if (::stat(native.c_str(), &st) != 0) return lastError("stat", path);
    }
    info->isDirectory = S_ISDIR(st.st_mode);
    info->readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    info->size = static_cast<uint64_t>(st.st_size);
    info->modified = static_cast<int64_t>(st.st_mtime);
    info->links = static_cast<uint32_t>(st.st_nlink);
    info->volume = static_cast<uint64_t>(st.st_dev);
    info->fileId = static_cast<uint64_t>(st.st_ino);
    return Status();
  }

  // Copies into a temporary file beside the target (where a symbolic link
  // leads), flushed and given the source's permission bits and times as
  // CopyFileW gives them, then put in the target's place: the target is
  // replaced whole or not at all. A target with several hard links is
  // written over in place instead, so that every name sees the copy.
  Status copyFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("copy", from); !bad.ok()) return bad;
    if (Status bad = checkName("copy", to); !bad.ok()) return bad;
    std::u16string resolved;
    if (Status s = resolveLink(to, &resolved); !s.ok()) return s;
    const std::string source = nativePath(from), target = nativePath(resolved);
    // Without blocking: a FIFO or device is refused below, never waited on.
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return lastError("open", from);
    PosixFile reader(in, from);
    struct stat inStat, outStat;
    if (::fstat(in, &inStat) != 0) return lastError("stat", from);
    if (!S_ISREG(inStat.st_mode)) return posixError("copy", from, EISDIR);
    const bool exists = ::stat(target.c_str(), &outStat) == 0;
    // Copying a file onto itself would truncate it first.
    if (exists && outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) {
      return posixError("copy", to, EINVAL);
    }
    if (isReadOnly(target)) return posixError("copy", to, EACCES);
    if (exists && !S_ISREG(outStat.st_mode)) {
      return posixError("copy", to, S_ISDIR(outStat.st_mode) ? EISDIR : ENODEV);
    }
    const bool inPlace = exists && outStat.st_nlink > 1;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string written =
        inPlace ? target : folder + "~" + target.substr(folder.size()) + ".XXXXXX.tmp";
    std::optional<TemporaryBeingMade> made;
    if (!inPlace) made.emplace();
    const int out = inPlace ? ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK)
                            : ::mkstemps(written.data(), 4);
    if (out < 0) return lastError("create", to);
    if (!inPlace) {
      ::fcntl(out, F_SETFD, FD_CLOEXEC);
      noteTemporary(written);
    }
    made.reset();
    PosixFile writer(out, to);
    auto failed = [&](Status cause) {
      writer.close();
      if (!inPlace) {
        ::unlink(written.c_str());
        forgetTemporary(written);
      }
      return cause;
    };
    std::vector<unsigned char> buffer(1 << 17);
    uint64_t offset = 0;
    for (;;) {
      size_t got = 0;
      Status s = reader.read(offset, buffer.data(), buffer.size(), &got);
      if (!s.ok()) return failed(s);
      if (got == 0) break;
      s = writer.write(offset, buffer.data(), got);
      if (!s.ok()) return failed(s);
      offset += got;
    }
    if (inPlace && ::ftruncate(out, static_cast<off_t>(offset)) != 0) {
      return failed(lastError("truncate", to));
    }
    const struct timespec times[2] = {inStat.st_atim, inStat.st_mtim};
    if ((!inPlace && ::fchmod(out, inStat.st_mode & 07777) != 0) || ::futimens(out, times) != 0) {
      return failed(lastError("copy", to));
    }
    Status s = writer.sync();
    if (s.ok()) s = writer.close();
    if (!s.ok()) return failed(s);
    if (inPlace) return Status();
    if (::rename(written.c_str(), target.c_str()) != 0) return failed(lastError("rename", to));
    forgetTemporary(written);
    syncDirectory(fromUtf8(folder));
    return Status();
  }

  Status removeFile(std::u16string_view path) override {
    if (Status bad = checkName("remove", path); !bad.ok()) return bad;
    const std::string native = nativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      return posixError("remove", path, EACCES);
    }
    if (::unlink(native.c_str()) != 0) return lastError("remove", path);
    forgetTemporary(native);
    return Status();
  }

  Status renameFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("rename", from); !bad.ok()) return bad;
    if (Status bad = checkName("rename", to); !bad.ok()) return bad;
    const std::string source = nativePath(from), target = nativePath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      return Status();
    }
    if (errno != EINVAL && errno != ENOSYS) return lastError("rename", to);
    // A file system without the flag: a new link then the old name's
    // removal never takes another file's name either.
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) return lastError("rename", from);
    if (S_ISDIR(st.st_mode)) {
      if (exists(target)) return posixError("rename", to, EEXIST);
      return ::rename(source.c_str(), target.c_str()) == 0 ? Status() : lastError("rename", to);
    }
    if (::link(source.c_str(), target.c_str()) != 0) return lastError("rename", to);
    if (::unlink(source.c_str()) != 0) return lastError("rename", from);
    return Status();
  }

  Status createDirectory(std::u16string_view path) override {
    if (Status bad = checkName("make folder", path); !bad.ok()) return bad;
    if (::mkdir(nativePath(path).c_str(), 0777) != 0) return lastError("make folder", path);
    return Status();
  }

  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    if (Status bad = checkName("open", path); !bad.ok()) return bad;
    // Never waits on a FIFO or a device: opened without blocking, and
    // refused unless it is a regular file.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenMode::kCreateTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    }
    const std::string native = nativePath(path);
    if (mode != OpenMode::kRead && isReadOnly(native)) return posixError("open", path, EACCES);
    int fd = ::open(native.c_str(), flags, 0666);
    if (fd < 0) return lastError("open", path);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const Status failed = lastError("open", path);
      ::close(fd);
      return failed;
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return posixError("open", path, S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
    }
    *file = std::make_unique<PosixFile>(fd, path);
    return Status();
  }

  Status createTempFile(std::u16string_view directory, std::u16string_view prefix,
                        std::u16string* path, std::unique_ptr<File>* file) override {
    std::string dir = directoryPath(directory);
    if (dir.back() != '/') dir += '/';
    std::string templ = dir + toUtf8(prefix) + "XXXXXX" + ".tmp";
    const TemporaryBeingMade made;
    int fd = ::mkstemps(templ.data(), 4);
    if (fd < 0) return lastError("create temporary file in", directory);
    noteTemporary(templ);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    *path = std::u16string(directory) + fromUtf8(templ.substr(dir.size()));
    *file = std::make_unique<PosixFile>(fd, *path);
    return Status();
  }

  Status replaceFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("replace", to); !bad.ok()) return bad;
    if (Status bad = checkName("replace", from); !bad.ok()) return bad;
    const std::string source = nativePath(from), target = nativePath(to);
    if (isReadOnly(target)) return posixError("replace", to, EACCES);
    // The file keeps the mode of the one it replaces; a new one gets what a
    // newly created file gets (0666 less the umask), not the temporary
    // file's 0600.
    struct stat st;
    mode_t mode = 0;
    if (::stat(target.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    if (::chmod(source.c_str(), mode) != 0) return lastError("chmod", from);
    if (::rename(source.c_str(), target.c_str()) != 0) return lastError("rename", to);
    forgetTemporary(source);
    return Status();
  }

  Status syncDirectory(std::u16string_view directory) override {
    const std::string native = directoryPath(directory);
    int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastError("open folder", directory);
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? Status() : posixError("sync folder", directory, error);
  }

  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    return lockFileOfName(*this, path, timeoutMs, lock);
  }

  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    std::string current = nativePath(path);
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *resolved = path;
      return Status();
    }
    // Follow the chain of links, each target relative to its link's folder.
    for (int hops = 0; hops < 40; ++hops) {
      if (::lstat(current.c_str(), &st) != 0) return lastError("stat", fromUtf8(current));
      if (!S_ISLNK(st.st_mode)) {
        *resolved = fromUtf8(current);
        return Status();
      }
      // readlink cuts a target that does not fit without saying so: grow
      // the buffer until the whole target fits with room to spare.
      std::string target(std::max<size_t>(static_cast<size_t>(st.st_size) + 1, 256), '\0');
      ssize_t n;
      while ((n = ::readlink(current.c_str(), target.data(), target.size())) >= 0 &&
             static_cast<size_t>(n) >= target.size()) {
        target.resize(target.size() * 2);
      }
      if (n < 0) return lastError("read link", fromUtf8(current));
      target.resize(static_cast<size_t>(n));
      if (target.empty() || target[0] != '/') {
        const size_t slash = current.rfind('/');
        target =
            (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + target;
      }
      current = target;
    }
    return posixError("resolve", path, ELOOP);
  }
};

}  // namespace

void removeTemporaryFilesOnSignals() {
  ::setenv(kCleanupVariable, "1", 1);
  installCleanupHandlers();
}

Env* Env::defaultEnv() {
  static PosixEnv env;
  return &env;
}

namespace {

// The number ANSI_CODEPAGE holds: 0 when unset or empty, -1 when it is not a
// code page number.
int requestedCodePage() {
  const char* value = std::getenv("ANSI_CODEPAGE");
  if (!value || !*value) return 0;
  char* end = nullptr;
  long cp = std::strtol(value, &end, 10);
  if (*end != '\0' || cp <= 0 || cp > 65535) return -1;
  return static_cast<int>(cp);
}

// UTF-16 to `codePage`. Strict: false at the first character without a
// mapping; otherwise such a character becomes '?'.
bool convertToCodePage(int codePage, std::u16string_view text, bool strict, std::string* result) {
  std::string& out = *result;
  out.clear();
  if (text.empty()) return true;
  iconv_t cd = converter(codePage, false);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(text.size() * 4 + 16);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inLeft = text.size() * 2;
  char* dst = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft < 2) {
      size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
      if (errno == E2BIG) continue;
    }
    if (strict) return false;
    // No mapping (or a surrogate: each half of a pair is one character
    // here, as on Windows): the default character.
    *dst++ = '?';
    --outLeft;
    in += 2;
    inLeft -= std::min<size_t>(2, inLeft);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state (none of the supported code pages has one).
  ::iconv(cd, nullptr, nullptr, &dst, &outLeft);
  out.resize(static_cast<size_t>(dst - out.data()));
  return true;
}

}  // namespace

bool codePageAvailable(int codePage) {
  if (codePage <= 0 || codePage > 65535) return false;
  iconv_t cd = ::iconv_open("UTF-16LE", iconvName(codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

int unavailableCodePageRequested() {
  const int requested = requestedCodePage();
  if (requested == 0) return 0;
  if (requested < 0 || !codePageAvailable(requested)) return requested;
  return 0;
}

int ansiCodePage() {
  // The answer for one value of the variable is kept: it is asked for every
  // conversion.
  static thread_local std::string seen;
  static thread_local int answer = 0;
  const char* value = std::getenv("ANSI_CODEPAGE");
  const std::string_view now = value ? value : "";
  if (answer == 0 || now != seen) {
    seen = now;
    const int requested = requestedCodePage();
    answer = requested > 0 && codePageAvailable(requested) ? requested : 950;
  }
  return answer;
}

std::string toCodePage(int codePage, std::u16string_view text) {
  if (const DoubleByteCodePage* page = DoubleByteCodePage::find(codePage)) {
    return page->encode(text);
  }
  std::string out;
  convertToCodePage(codePage, text, false, &out);
  return out;
}

bool toCodePageExact(int codePage, std::u16string_view text, std::string* out) {
  if (const DoubleByteCodePage* page = DoubleByteCodePage::find(codePage)) {
    return page->encodeExact(text, out);
  }
  // A mapping must also lead back to the same character: some tables map
  // several characters to one.
  return convertToCodePage(codePage, text, true, out) && fromCodePage(codePage, *out) == text;
}

namespace {

// Decodes `text`; a byte sequence that is no character becomes the code
// page's substitute, and clears *exact.
std::u16string decode(int codePage, std::string_view text, bool* exact) {
  std::u16string out;
  if (text.empty()) return out;
  const char16_t substitute = codePage == 65001 ? u'\uFFFD' : u'?';
  iconv_t cd = converter(codePage, true);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.resize(text.size() + 8);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = reinterpret_cast<char*>(out.data());
  size_t outLeft = out.size() * 2;
  while (inLeft > 0) {
    if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft < 2) {
      size_t used = static_cast<size_t>(dst - reinterpret_cast<char*>(out.data()));
      out.resize(out.size() * 2);
      dst = reinterpret_cast<char*>(out.data()) + used;
      outLeft = out.size() * 2 - used;
      if (errno == E2BIG) continue;
    }
    // A byte that begins no character: the substitute, then the next byte.
    *exact = false;
    std::memcpy(dst, &substitute, 2);
    dst += 2;
    outLeft -= 2;
    ++in;
    --inLeft;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(static_cast<size_t>(dst - reinterpret_cast<char*>(out.data())) / 2);
  return out;
}

}  // namespace

std::u16string fromCodePage(int codePage, std::string_view text) {
  bool exact = true;
  if (const DoubleByteCodePage* page = DoubleByteCodePage::find(codePage)) {
    return page->decode(text, &exact);
  }
  return decode(codePage, text, &exact);
}

bool fromCodePageExact(int codePage, std::string_view text, std::u16string* out) {
  bool exact = true;
  if (const DoubleByteCodePage* page = DoubleByteCodePage::find(codePage)) {
    *out = page->decode(text, &exact);
    return exact;
  }
  *out = decode(codePage, text, &exact);
  return exact;
}

Status posixError(const char* operation, std::u16string_view path, int error) {
  return Status::error(kindOf(error), error, operation, path);
}

std::string systemErrorText(int error) {
  return std::strerror(error);
}

std::u16string toLowerWide(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = windowsLower(c);
  return out;
}

std::u16string toUpperWide(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = windowsUpper(c);
  return out;
}

}  // namespace platform
