// The file primitives behind one interface, as LevelDB's Env: the
// platform's own (POSIX or Win32), an in-memory one for tests
// (tests/support/mem_env.h), and wrappers that change a few operations
// (EnvWrapper).
//
// An Env does what the system call it stands for does, and no more: it
// keeps no rules of its own about which files may be changed, or how a new
// file takes an old one's place. Those rules live once, above it, in
// platform/file_writes.h, which every writer uses.
//
// Paths are UTF-16 in the host's form ('\' or '/' between folders, an
// optional drive). Every operation answers a Status made where it failed,
// and every failure is reported: none is read as a default ("absent",
// "empty", "writable"). kNotFound means that nothing is there, and nothing
// else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

struct DirEntry {
  std::u16string name;
  bool isDirectory = false;  // a folder, or a link that leads to one
  bool isLink = false;       // a symbolic link or junction
  uint64_t size = 0;         // set when the listing was asked for sizes
};

// What a path or an open file is.
struct FileInfo {
  bool isDirectory = false;
  bool isRegular = true;  // a plain file: no folder, FIFO, socket or device
  bool isLink = false;    // the path's last name is itself a link (by path only)
  bool readOnly = false;  // nobody may write it: no write bit (POSIX), the read-only attribute
  uint64_t size = 0;
  int64_t modified = 0;  // last written, in nanoseconds since 1970 (UTC)
  // The permission bits (POSIX) or the attributes (Windows), as
  // File::setAttributes takes them.
  uint32_t attributes = 0;
  uint32_t links = 1;  // hard links to a file
  // Who owns it (POSIX: user and group IDs; 0 elsewhere), and whether that
  // is the user this program runs as (always on Windows).
  uint32_t owner = 0, group = 0;
  bool ownedByCaller = true;
  // Identity: two paths with equal volume and fileId lead to one file or
  // folder (device and inode, volume serial number and file ID).
  uint64_t volume = 0;
  uint64_t fileId = 0;

  bool sameFileAs(const FileInfo& other) const {
    return volume == other.volume && fileId == other.fileId;
  }
};

enum class OpenMode {
  kRead,       // an existing file, read only
  kReadWrite,  // an existing file, read and written in place; never cut
  kCreateNew,  // a new file, read and written; kExists when the name is taken
  // As kCreateNew, and removed when a signal stops the program (see
  // removeTemporaryFilesOnSignals) unless it was renamed or removed before.
  // POSIX makes it readable by its owner alone (mode 0600); Windows gives
  // it the folder's permissions.
  kCreateTemporary,
};

// An open file with positional I/O. Only regular files are opened: a
// folder, FIFO, socket or device is refused at once (kAccessDenied), and
// nothing waits on one.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Reads up to `n` bytes at `offset`; `*got` receives the count, 0 at the
  // end of the file. A short count is no failure (see readExactly).
  virtual Status read(uint64_t offset, void* data, size_t n, size_t* got) = 0;
  // Writes all `n` bytes at `offset`, or fails.
  virtual Status write(uint64_t offset, const void* data, size_t n) = 0;
  // Writes the `n` bytes at `sourceOffset` of `source` (another open file)
  // at `offset`, all of them or failing as write does; a source that ends
  // sooner is kIoError. By default read and written a block at a time; the
  // platform copies inside the kernel where it can (copy_file_range), in a
  // few calls however many bytes.
  virtual Status copyFrom(File& source, uint64_t sourceOffset, uint64_t offset, uint64_t n);
  virtual Status size(uint64_t* size) = 0;
  // Cuts or extends the file to `size` bytes.
  virtual Status truncate(uint64_t size) = 0;
  // Makes everything written so far durable: it survives a power loss.
  virtual Status sync() = 0;
  // Makes the bytes written so far and the file's length durable, but not
  // necessarily its times or attributes (fdatasync): for a file changed
  // in place, whose identity and attributes stay as they were. By default
  // sync.
  virtual Status syncData() { return sync(); }
  // What the open file is, asked of the handle (not of its name).
  virtual Status stat(FileInfo* info) = 0;
  // Gives the file permission bits (POSIX) or attributes (Windows) as
  // FileInfo::attributes holds them, through the handle.
  virtual Status setAttributes(uint32_t attributes) = 0;
  // Sets when the file was last written (nanoseconds since 1970).
  virtual Status setModified(int64_t modified) = 0;
  // Gives the file the owner and group FileInfo holds, through the handle
  // (POSIX; nothing elsewhere). kAccessDenied when the caller may not.
  virtual Status setOwner(uint32_t owner, uint32_t group) = 0;
  // Takes an exclusive lock on `length` bytes from `offset`, which may lie
  // beyond the end of the file, waiting up to `timeoutMs` for another
  // handle to release them (kBusy then). Locks belong to the handle: a
  // second handle of the same file, in this process or another, is kept
  // out. The lock ends when this file is closed.
  virtual Status lock(uint64_t offset, uint64_t length, int timeoutMs) = 0;
  // Closes the file. Closing again does nothing and succeeds.
  virtual Status close() = 0;
  // The path the file was opened by, for messages; empty when it has none.
  virtual std::u16string path() const { return std::u16string(); }
};

// An exclusive lock on a name (see Env::lockName). Released when destroyed.
class NameLock {
 public:
  NameLock() = default;
  NameLock(const NameLock&) = delete;
  NameLock& operator=(const NameLock&) = delete;
  virtual ~NameLock() = default;
};

// Takes the entries of a folder one at a time, as Env::scanFolder reads
// them.
class FolderScan {
 public:
  virtual ~FolderScan() = default;
  // Whether the size of the entry `name` is wanted: asked for each entry
  // the folder gives as a file (or whose kind only a look at it tells)
  // before its size is read, which on POSIX costs a look at the entry.
  virtual bool wantsSize(std::u16string_view name) = 0;
  // One entry; `entry` lives for this call only. Its size is set when it
  // was wanted.
  virtual void take(const DirEntry& entry) = 0;
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The platform's own services.
  static Env* defaultEnv();

  virtual Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) = 0;
  // Describes what `path` leads to, links followed (isLink says whether its
  // last name is a link). kNotFound when nothing is there.
  virtual Status fileInfo(std::u16string_view path, FileInfo* info) = 0;
  // Describes the entry `path` names itself: a link is not followed (isLink,
  // and the link's own owner). kNotFound when there is no such entry.
  virtual Status entryInfo(std::u16string_view path, FileInfo* info) = 0;
  // Every entry of `folder` (a directory part as splitPath gives it, with
  // its drive; empty for the current folder) but "." and "..", in no
  // particular order. An entry whose kind or size cannot be read fails the
  // listing; one that vanished meanwhile is left out. A link reports what
  // it leads to.
  virtual Status listFolder(std::u16string_view folder, bool wantSizes,
                            std::vector<DirEntry>* entries) = 0;
  // listFolder, an entry at a time and in one read of the folder: memory
  // does not grow with the folder, and only the sizes `scan` wants are
  // read. On failure `scan` may have taken some of the entries already.
  // By default, listFolder with sizes.
  virtual Status scanFolder(std::u16string_view folder, FolderScan& scan);
  // Gives `from` the name `to` in one atomic step, in place of any file
  // there. Durable only after syncDirectory of their folder.
  virtual Status renameReplacing(std::u16string_view from, std::u16string_view to) = 0;
  // As renameReplacing, but never in place of another file: kExists when
  // `to` is taken, and then both names are as they were.
  virtual Status renameNoReplace(std::u16string_view from, std::u16string_view to) = 0;
  // Gives the file `existing` the second name `link`; kExists when taken.
  virtual Status linkFile(std::u16string_view existing, std::u16string_view link) = 0;
  // Removes a name of a file (whatever its permissions: the rules about
  // which files may be removed are the callers'); a folder is refused.
  virtual Status removeFile(std::u16string_view path) = 0;
  // Makes a folder in an existing one; kExists when the name is taken.
  virtual Status createDirectory(std::u16string_view path) = 0;
  // Makes the names in `folder` durable: files created, removed or renamed
  // there survive a power loss.
  virtual Status syncDirectory(std::u16string_view folder) = 0;
  // When the last name of `path` is a symbolic link, the path of the file it
  // finally leads to; otherwise `path` unchanged. A link in a folder others
  // may write that has the sticky bit is followed only when its owner is
  // the caller or the folder's owner, as the kernel's protected-symlinks
  // rule follows them (kAccessDenied otherwise).
  virtual Status resolveLink(std::u16string_view path, std::u16string* resolved) = 0;
  // Locks the name `path`, whether or not a file has it, against every
  // other holder in this process or another, waiting up to `timeoutMs`
  // (kBusy then). POSIX locks a lock file beside the name ("~NAME.lock"),
  // which the holder removes; Windows a named mutex.
  virtual Status lockName(std::u16string_view path, int timeoutMs,
                          std::unique_ptr<NameLock>* lock) = 0;
  // The attributes a file newly made by a program gets (POSIX: 0666 less
  // the umask; Windows: the archive bit), as FileInfo::attributes holds
  // them.
  virtual uint32_t newFileAttributes() = 0;
  // The attributes the platform's own copy gives a copy of a file with
  // `source`'s, made new or in place of `replaced`: POSIX as cp gives them
  // (a new copy the source's permission bits less the umask and less
  // set-user-ID and set-group-ID; a replaced file keeps its own), Windows
  // as CopyFileW (the source's).
  virtual uint32_t attributesOfCopy(const FileInfo& source, const FileInfo* replaced) = 0;
};

// Forwards every call to another Env; a test double overrides only what it
// changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    return target_->openFile(path, mode, file);
  }
  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    return target_->fileInfo(path, info);
  }
  Status entryInfo(std::u16string_view path, FileInfo* info) override {
    return target_->entryInfo(path, info);
  }
  Status listFolder(std::u16string_view folder, bool wantSizes,
                    std::vector<DirEntry>* entries) override {
    return target_->listFolder(folder, wantSizes, entries);
  }
  Status scanFolder(std::u16string_view folder, FolderScan& scan) override {
    return target_->scanFolder(folder, scan);
  }
  Status renameReplacing(std::u16string_view from, std::u16string_view to) override {
    return target_->renameReplacing(from, to);
  }
  Status renameNoReplace(std::u16string_view from, std::u16string_view to) override {
    return target_->renameNoReplace(from, to);
  }
  Status linkFile(std::u16string_view existing, std::u16string_view link) override {
    return target_->linkFile(existing, link);
  }
  Status removeFile(std::u16string_view path) override { return target_->removeFile(path); }
  Status createDirectory(std::u16string_view path) override {
    return target_->createDirectory(path);
  }
  Status syncDirectory(std::u16string_view folder) override {
    return target_->syncDirectory(folder);
  }
  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    return target_->resolveLink(path, resolved);
  }
  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    return target_->lockName(path, timeoutMs, lock);
  }
  uint32_t newFileAttributes() override { return target_->newFileAttributes(); }
  uint32_t attributesOfCopy(const FileInfo& source, const FileInfo* replaced) override {
    return target_->attributesOfCopy(source, replaced);
  }

 private:
  Env* target_;
};

// The entries of a folder matching `pattern` (a directory part and a last
// component that may hold '*' and '?', matched as the Windows search
// matches long names), "." and ".." included when the pattern matches them,
// in the order NTFS keeps names (ordinal, ignoring case). kNotFound when
// nothing matches or the folder does not exist; any other failure to list
// it is reported as such.
Status findFiles(Env& env, std::u16string_view pattern, bool wantSizes,
                 std::vector<DirEntry>* entries);

// While one lives, a name looked for ignoring case on this thread (POSIX
// resolves a name that does not exist as given so) costs a hash look-up
// after the first: each folder's names are read once and kept, until an
// operation of the platform's Env creates, removes or renames a name. For
// one call of a function: what other programs change meanwhile is not seen.
// Scopes nest; the outermost keeps the names. Nothing on Windows, whose file
// systems ignore case themselves.
class NameCache {
 public:
  NameCache();
  ~NameCache();
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;

 private:
  bool owner_ = false;
};

// Makes this process remove the temporary files it has open when a signal
// stops it (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: the console's Ctrl-C,
// Ctrl-Break and close), then end as the signal would have ended it. For
// programs of our own; a module inside the CAD host leaves the host's
// signals alone.
void removeTemporaryFilesOnSignals();

// Reads up to `n` bytes at `offset`, as many reads as it takes: fewer only
// at the end of the file.
Status readFully(File& file, uint64_t offset, void* data, size_t n, size_t* got);
// Reads exactly `n` bytes at `offset`; a file that ends sooner is kIoError.
Status readExactly(File& file, uint64_t offset, void* data, size_t n);
// The whole file at `path`, read into *bytes.
Status readWholeFile(Env& env, std::u16string_view path, std::string* bytes);

// Writes the process's standard output directly (not the host's command
// line), in order with everything else written there through C stdio.
void writeStandardOutput(std::string_view bytes);

}  // namespace platform
