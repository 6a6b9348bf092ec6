// The file primitives on POSIX: each is the system call it names, with
// interrupted calls (EINTR) retried and every failure reported.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"
#include "posix_internal.h"

namespace platform {
namespace {

using posix::directoryPath;
using posix::nativePath;

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
    case ELOOP:  // a link where none may be followed
      return ErrorKind::kAccessDenied;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
      return ErrorKind::kBusy;
    case EEXIST:
    case ENOTEMPTY:
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

// Runs a system call again while a signal interrupts it.
template <typename Call>
auto retried(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

FileInfo infoOf(const struct stat& st) {
  FileInfo info;
  info.isDirectory = S_ISDIR(st.st_mode);
  info.isRegular = S_ISREG(st.st_mode);
  // Windows refuses to change a file with the read-only attribute whoever
  // asks; so do the writers here, for root too, of a file with no write bit.
  info.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  info.size = static_cast<uint64_t>(st.st_size);
  info.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.attributes = static_cast<uint32_t>(st.st_mode & 07777);
  info.links = static_cast<uint32_t>(st.st_nlink);
  info.volume = static_cast<uint64_t>(st.st_dev);
  info.fileId = static_cast<uint64_t>(st.st_ino);
  info.owner = static_cast<uint32_t>(st.st_uid);
  info.group = static_cast<uint32_t>(st.st_gid);
  info.ownedByCaller = st.st_uid == ::geteuid();
  return info;
}

// Whether the link `native` (lstat as `link`) may be followed, as the
// kernel's protected-symlinks rule allows: outside a folder others may
// write that has the sticky bit, or when the link's owner is the caller or
// the folder's owner. Checked here too, so that the rule holds whatever
// the system's setting, and for links this layer follows itself.
Status mayFollow(const std::string& native, const struct stat& link, std::u16string_view path) {
  const size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  struct stat dir;
  if (::stat(folder.c_str(), &dir) != 0) return lastError("stat", fromUtf8(folder));
  const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
  if (!shared || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid) return Status();
  return posixError("follow a link planted by another user in a shared folder", path, EACCES);
}

// ---------------------------------------------------------------- locks

// A lock wait in a thread of its own, so that the wait can be bounded:
// fcntl's blocking F_OFD_SETLKW is a cancellation point.
struct LockWait {
  int fd;
  int command;
  struct flock range;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int error = 0;
};

void* waitForLock(void* argument) {
  auto* wait = static_cast<LockWait*>(argument);
  int error = 0;
  while (::fcntl(wait->fd, wait->command, &wait->range) != 0) {
    if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  {
    std::lock_guard<std::mutex> hold(wait->mutex);
    wait->finished = true;
    wait->error = error;
  }
  wait->done.notify_one();
  return nullptr;
}

// Takes an exclusive lock on bytes of `fd`, waiting up to `timeoutMs`: 0,
// or the error (EAGAIN when the time passed). Open-file-description locks
// belong to the handle, as Windows' do: a second handle in this process
// neither shares nor drops them. Kernels before 3.15 have only the
// process's own locks.
int lockRange(int fd, uint64_t offset, uint64_t length, int timeoutMs) {
  LockWait wait;
  wait.fd = fd;
  std::memset(&wait.range, 0, sizeof wait.range);
  wait.range.l_type = F_WRLCK;
  wait.range.l_whence = SEEK_SET;
  wait.range.l_start = static_cast<off_t>(offset);
  wait.range.l_len = static_cast<off_t>(length);
  int command = F_OFD_SETLK, waiting = F_OFD_SETLKW;
  for (;;) {
    if (::fcntl(fd, command, &wait.range) == 0) return 0;
    if (errno == EINVAL && command == F_OFD_SETLK) {
      command = F_SETLK;
      waiting = F_SETLKW;
      continue;
    }
    if (errno != EINTR) break;
  }
  if (errno != EACCES && errno != EAGAIN) return errno;
  if (timeoutMs <= 0) return EAGAIN;
  wait.command = waiting;
  pthread_t thread;
  if (const int error = ::pthread_create(&thread, nullptr, waitForLock, &wait); error != 0) {
    return error;
  }
  std::unique_lock<std::mutex> hold(wait.mutex);
  const bool finished =
      wait.done.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return wait.finished; });
  hold.unlock();
  // Cancelled in its wait, the thread holds no lock; a lock it took just
  // before is kept.
  if (!finished) ::pthread_cancel(thread);
  ::pthread_join(thread, nullptr);
  if (!wait.finished) return EAGAIN;
  return wait.error;
}

// ---------------------------------------------------------------- files

class PosixFile : public File {
 public:
  PosixFile(int fd, std::u16string_view path) : fd_(fd), path_(path) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    const ssize_t r = retried([&] { return ::pread(fd_, data, n, static_cast<off_t>(offset)); });
    if (r < 0) return lastError("read", path_);
    *got = static_cast<size_t>(r);
    return Status();
  }

  Status write(uint64_t offset, const void* data, size_t n) override {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
      const ssize_t w = retried([&] { return ::pwrite(fd_, p, n, static_cast<off_t>(offset)); });
      if (w < 0) return lastError("write", path_);
      if (w == 0) return posixError("write", path_, EIO);
      p += w;
      n -= static_cast<size_t>(w);
      offset += static_cast<uint64_t>(w);
    }
    return Status();
  }

  Status copyFrom(File& source, uint64_t sourceOffset, uint64_t offset, uint64_t n) override {
    auto* from = dynamic_cast<PosixFile*>(&source);
    while (from && n > 0) {
      auto in = static_cast<off_t>(sourceOffset), out = static_cast<off_t>(offset);
      const ssize_t copied = retried(
          [&] { return ::copy_file_range(from->fd_, &in, fd_, &out, static_cast<size_t>(n), 0); });
      if (copied < 0) {
        // Files the kernel cannot copy between (other file systems, a
        // kernel or file system without the call, overlapping ranges of
        // one file) are copied by reading and writing.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
            errno == EBADF || errno == ETXTBSY || errno == EPERM) {
          break;
        }
        return lastError("write", path_);
      }
      if (copied == 0) {
        return Status::error(ErrorKind::kIoError, 0,
                             "copy " + std::to_string(n) + " bytes at " +
                                 std::to_string(sourceOffset) + " (the file ends there) from",
                             from->path());
      }
      sourceOffset += static_cast<uint64_t>(copied);
      offset += static_cast<uint64_t>(copied);
      n -= static_cast<uint64_t>(copied);
    }
    return n == 0 ? Status() : File::copyFrom(source, sourceOffset, offset, n);
  }

  Status size(uint64_t* size) override {
    FileInfo info;
    Status s = stat(&info);
    if (s.ok()) *size = info.size;
    return s;
  }

  Status truncate(uint64_t size) override {
    if (retried([&] { return ::ftruncate(fd_, static_cast<off_t>(size)); }) != 0) {
      return lastError("truncate", path_);
    }
    return Status();
  }

  Status sync() override {
    return retried([&] { return ::fsync(fd_); }) == 0 ? Status() : lastError("sync", path_);
  }

  Status syncData() override {
    return retried([&] { return ::fdatasync(fd_); }) == 0 ? Status() : lastError("sync", path_);
  }

  Status stat(FileInfo* info) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return lastError("stat", path_);
    *info = infoOf(st);
    return Status();
  }

  Status setAttributes(uint32_t attributes) override {
    if (retried([&] { return ::fchmod(fd_, static_cast<mode_t>(attributes & 07777)); }) != 0) {
      return lastError("set the permissions of", path_);
    }
    return Status();
  }

  Status setOwner(uint32_t owner, uint32_t group) override {
    if (retried([&] {
          return ::fchown(fd_, static_cast<uid_t>(owner), static_cast<gid_t>(group));
        }) != 0) {
      return lastError("set the owner of", path_);
    }
    return Status();
  }

  Status setModified(int64_t modified) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(modified / 1000000000);
    times[1].tv_nsec = static_cast<long>(modified % 1000000000);
    if (times[1].tv_nsec < 0) {
      times[1].tv_nsec += 1000000000;
      --times[1].tv_sec;
    }
    if (::futimens(fd_, times) != 0) return lastError("set the time of", path_);
    return Status();
  }

  Status lock(uint64_t offset, uint64_t length, int timeoutMs) override {
    const int error = lockRange(fd_, offset, length, timeoutMs);
    return error == 0 ? Status() : posixError("lock", path_, error);
  }

  Status close() override {
    if (fd_ < 0) return Status();
    const int fd = fd_;
    fd_ = -1;
    // Linux closes the descriptor even when close is interrupted.
    if (::close(fd) != 0 && errno != EINTR) return lastError("close", path_);
    return Status();
  }

  std::u16string path() const override { return path_; }

 private:
  int fd_;
  std::u16string path_;
};

// A name's lock: a lock file beside the name ("~NAME.lock"), locked whole.
// The holder removes it before letting it go, so that the name leaves no
// file behind; whoever then gets the lock of a file no longer under that
// name tries again.
//
// A signal that stops the holder removes the lock file too (while a file
// is held, nobody else may remove it); a kill leaves it, unlocked, for the
// next holder to take and remove.
class LockFile : public NameLock {
 public:
  // `fd` is locked, its file is under `path`, and the signal handler knows
  // it.
  LockFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~LockFile() override {
    posix::NamesChange change;
    // Forgotten before it is removed: a signal between the two must not
    // remove the lock file the next holder may have made meanwhile.
    posix::forgetTemporary(path_);
    struct stat mine, named;
    if (::fstat(fd_, &mine) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        mine.st_dev == named.st_dev && mine.st_ino == named.st_ino &&
        ::unlink(path_.c_str()) == 0) {
      change.removed(path_);
    } else {
      change.nothing();  // another holder's lock file, or one that could not go: still there
    }
    ::close(fd_);
  }

 private:
  int fd_;
  std::string path_;
};

// The umask, read without changing it where the kernel tells it.
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

class PosixEnv : public Env {
 public:
  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    posix::NamesChange change;
    std::string native;
    if (Status s = nativePath("open", path, &native); !s.ok()) return s;
    // Never waits on a FIFO or a device: opened without blocking, and
    // refused unless it is a regular file.
    const int flags = O_CLOEXEC | O_NONBLOCK | (mode == OpenMode::kRead ? O_RDONLY : O_RDWR);
    int fd = -1;
    switch (mode) {
      case OpenMode::kRead:
        fd = retried([&] { return ::open(native.c_str(), flags); });
        break;
      case OpenMode::kReadWrite:
        // A link is followed for writing only as the kernel's rule allows.
        fd = retried([&] { return ::open(native.c_str(), flags | O_NOFOLLOW); });
        if (fd < 0 && errno == ELOOP) {
          struct stat link;
          if (::lstat(native.c_str(), &link) != 0) return lastError("open", path);
          if (Status s = mayFollow(native, link, path); !s.ok()) return s;
          fd = retried([&] { return ::open(native.c_str(), flags); });
        }
        break;
      case OpenMode::kCreateNew:
        fd = retried([&] { return ::open(native.c_str(), flags | O_CREAT | O_EXCL, 0666); });
        break;
      case OpenMode::kCreateTemporary:
        fd = posix::openTemporary(native, flags);
        break;
    }
    if (fd < 0)
      return lastError(mode == OpenMode::kRead || mode == OpenMode::kReadWrite ? "open" : "create",
                       path);
    if (mode == OpenMode::kRead || mode == OpenMode::kReadWrite) {
      change.nothing();
    } else {
      change.made(native);
    }
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

  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    // An empty name names nothing; errno would still hold an older failure.
    if (path.empty()) return posixError("stat", path, ENOENT);
    std::string native;
    if (Status s = nativePath("stat", path, &native); !s.ok()) return s;
    if (native.empty()) native = ".";  // a drive alone: the current folder
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return lastError("stat", path);
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(native.c_str(), &st) != 0) return lastError("stat", path);
    *info = infoOf(st);
    info->isLink = link;
    return Status();
  }

  Status entryInfo(std::u16string_view path, FileInfo* info) override {
    if (path.empty()) return posixError("stat", path, ENOENT);
    std::string native;
    if (Status s = nativePath("stat", path, &native); !s.ok()) return s;
    if (native.empty()) native = ".";
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return lastError("stat", path);
    *info = infoOf(st);
    info->isLink = S_ISLNK(st.st_mode);
    if (info->isLink) info->isRegular = false;
    return Status();
  }

  Status listFolder(std::u16string_view folder, bool wantSizes,
                    std::vector<DirEntry>* entries) override {
    // Every entry, kept.
    class Collect : public FolderScan {
     public:
      Collect(bool wantSizes, std::vector<DirEntry>* entries)
          : wantSizes_(wantSizes), entries_(entries) {}
      bool wantsSize(std::u16string_view) override { return wantSizes_; }
      void take(const DirEntry& entry) override { entries_->push_back(entry); }

     private:
      bool wantSizes_;
      std::vector<DirEntry>* entries_;
    };
    entries->clear();
    Collect collect(wantSizes, entries);
    Status s = scanFolder(folder, collect);
    if (!s.ok()) entries->clear();
    return s;
  }

  Status scanFolder(std::u16string_view folder, FolderScan& scan) override {
    std::string native;
    if (Status s = directoryPath("list", folder, &native); !s.ok()) return s;
    const std::u16string shown = folder.empty() ? u"." : std::u16string(folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return lastError("list", shown);
    const int dirFd = ::dirfd(dir);
    Status failed;
    DirEntry entry;  // one, its name's storage reused
    for (;;) {
      errno = 0;
      const dirent* e = ::readdir(dir);
      if (!e) {
        // The end of the folder, or a read that failed: never the same.
        if (errno != 0) failed = lastError("list", shown);
        break;
      }
      const std::string_view bytes(e->d_name);
      if (bytes == "." || bytes == "..") continue;
      // Most names are ASCII: widened in place, without a conversion.
      if (std::all_of(bytes.begin(), bytes.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        entry.name.assign(bytes.begin(), bytes.end());
      } else {
        entry.name = posix::decodeName(bytes);
      }
      // A name no text can name, or one holding a control character (no
      // Windows name does; a line break would split a listing line), is
      // not listed.
      if (entry.name.empty() ||
          std::any_of(entry.name.begin(), entry.name.end(), [](char16_t c) { return c < 0x20; })) {
        continue;
      }
      entry.isDirectory = false;
      entry.isLink = false;
      entry.size = 0;
      const unsigned char type = e->d_type;
      // The folder tells the kind of most entries: a look at the entry is
      // needed for a link, a kind it does not tell, or a size wanted.
      if (type == DT_UNKNOWN || type == DT_LNK || (type == DT_REG && scan.wantsSize(entry.name))) {
        struct stat st;
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          if (errno == ENOENT) continue;  // gone meanwhile
          failed = lastError("stat", shown + u"/" + entry.name);
          break;
        }
        if (S_ISLNK(st.st_mode)) {
          entry.isLink = true;
          // A link reports its target's kind and size, as a Windows link
          // reports the directory bit; a link to nothing is a file.
          struct stat target;
          if (::fstatat(dirFd, e->d_name, &target, 0) == 0) {
            st = target;
          } else if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
            failed = lastError("stat", shown + u"/" + entry.name);
            break;
          }
        }
        entry.isDirectory = S_ISDIR(st.st_mode);
        if (!entry.isDirectory && (type == DT_REG || scan.wantsSize(entry.name))) {
          entry.size = static_cast<uint64_t>(st.st_size);
        }
      } else {
        entry.isDirectory = type == DT_DIR;
      }
      scan.take(entry);
    }
    ::closedir(dir);
    return failed;
  }

  Status renameReplacing(std::u16string_view from, std::u16string_view to) override {
    posix::NamesChange change;
    std::string source, target;
    if (Status s = nativePath("rename", from, &source); !s.ok()) return s;
    if (Status s = nativePath("rename", to, &target); !s.ok()) return s;
    if (::rename(source.c_str(), target.c_str()) != 0) return lastError("rename", to);
    change.removed(source);
    change.made(target);
    posix::forgetTemporary(source);
    return Status();
  }

  Status renameNoReplace(std::u16string_view from, std::u16string_view to) override {
    posix::NamesChange change;
    std::string source, target;
    if (Status s = nativePath("rename", from, &source); !s.ok()) return s;
    if (Status s = nativePath("rename", to, &target); !s.ok()) return s;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      change.removed(source);
      change.made(target);
      posix::forgetTemporary(source);
      return Status();
    }
    if (errno != EINVAL && errno != ENOSYS) return lastError("rename", to);
    // A file system without the flag: a new link, then the old name's
    // removal, which never takes another file's name either. Should the
    // removal fail, the new link goes again: never both names.
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) return lastError("rename", from);
    if (S_ISDIR(st.st_mode)) {
      struct stat taken;
      if (::lstat(target.c_str(), &taken) == 0) return posixError("rename", to, EEXIST);
      if (errno != ENOENT) return lastError("rename", to);
      return ::rename(source.c_str(), target.c_str()) == 0 ? Status() : lastError("rename", to);
    }
    if (::link(source.c_str(), target.c_str()) != 0) return lastError("rename", to);
    if (::unlink(source.c_str()) != 0) {
      const Status failed = lastError("rename", from);
      ::unlink(target.c_str());
      return failed;
    }
    posix::forgetTemporary(source);
    return Status();
  }

  Status linkFile(std::u16string_view existing, std::u16string_view link) override {
    posix::NamesChange change;
    std::string source, target;
    if (Status s = nativePath("link", existing, &source); !s.ok()) return s;
    if (Status s = nativePath("link", link, &target); !s.ok()) return s;
    if (::link(source.c_str(), target.c_str()) != 0) return lastError("link", link);
    change.made(target);
    return Status();
  }

  Status removeFile(std::u16string_view path) override {
    posix::NamesChange change;
    std::string native;
    if (Status s = nativePath("remove", path, &native); !s.ok()) return s;
    if (::unlink(native.c_str()) != 0) return lastError("remove", path);
    change.removed(native);
    posix::forgetTemporary(native);
    return Status();
  }

  Status createDirectory(std::u16string_view path) override {
    posix::NamesChange change;
    std::string native;
    if (Status s = nativePath("make folder", path, &native); !s.ok()) return s;
    if (::mkdir(native.c_str(), 0777) != 0) return lastError("make folder", path);
    change.made(native);
    return Status();
  }

  Status syncDirectory(std::u16string_view folder) override {
    std::string native;
    if (Status s = directoryPath("sync folder", folder, &native); !s.ok()) return s;
    const int fd =
        retried([&] { return ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return lastError("sync folder", folder);
    const bool synced = retried([&] { return ::fsync(fd); }) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? Status() : posixError("sync folder", folder, error);
  }

  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    posix::NamesChange change;
    const PathParts parts = splitPath(path);
    const std::u16string lockPath =
        parts.drive + parts.dir + u"~" + parts.name + parts.ext + u".lock";
    std::string native;
    if (Status s = nativePath("lock", lockPath, &native); !s.ok()) return s;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      // Made by whoever comes first, writable by everyone who may write
      // the folder (a lock needs a handle open for writing); never a link.
      // A lock file made here is known to the signal handler from the
      // moment it exists (a signal that stops us removes it); one taken
      // over from a holder that was killed, once it is locked.
      int fd = posix::openTemporary(native, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
      const bool made = fd >= 0;
      if (made) {
        ::fchmod(fd, 0666);
      } else if (errno == EEXIST) {
        fd = retried(
            [&] { return ::open(native.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK); });
        if (fd < 0 && errno == ENOENT) continue;  // removed by its holder meanwhile
      }
      if (fd < 0) return lastError("lock", lockPath);
      // Whoever opened it meanwhile may hold it when we give up: it is no
      // longer ours to remove.
      auto giveUp = [&] {
        if (made) posix::forgetTemporary(native);
        ::close(fd);
      };
      struct stat mine;
      if (::fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
        const Status failed = posixError("lock", lockPath, errno ? errno : ENODEV);
        giveUp();
        return failed;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const int error = lockRange(fd, 0, 0, std::max<int>(0, static_cast<int>(left.count())));
      if (error != 0) {
        giveUp();
        return posixError("lock", lockPath, error);
      }
      struct stat named;
      if (::lstat(native.c_str(), &named) == 0 && named.st_dev == mine.st_dev &&
          named.st_ino == mine.st_ino) {
        if (!made) posix::noteTemporary(native);
        change.made(native);
        *lock = std::make_unique<LockFile>(fd, native);
        return Status();
      }
      giveUp();  // the lock of a file its holder removed: try again
      if (std::chrono::steady_clock::now() >= deadline) return posixError("lock", lockPath, EAGAIN);
    }
  }

  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    std::string current;
    if (Status s = nativePath("resolve", path, &current); !s.ok()) return s;
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return lastError("stat", path);
      *resolved = path;
      return Status();
    }
    if (!S_ISLNK(st.st_mode)) {
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
      if (Status s = mayFollow(current, st, fromUtf8(current)); !s.ok()) return s;
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

  uint32_t newFileAttributes() override { return 0666 & ~umask(); }

  uint32_t attributesOfCopy(const FileInfo& source, const FileInfo* replaced) override {
    if (replaced) return replaced->attributes;
    return source.attributes & 0777 & ~umask();
  }

 private:
  static uint32_t umask() {
    static const uint32_t mask = static_cast<uint32_t>(currentUmask());
    return mask;
  }
};

}  // namespace

Env* Env::defaultEnv() {
  static PosixEnv env;
  return &env;
}

Status posixError(const char* operation, std::u16string_view path, int error) {
  return Status::error(kindOf(error), error, operation, path);
}

std::string systemErrorText(int error) {
  return std::strerror(error);
}

}  // namespace platform
