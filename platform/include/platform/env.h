// File services behind one interface, as LevelDB's Env: the platform's own
// (POSIX or Win32), an in-memory one for tests (tests/support/mem_env.h),
// and wrappers that change a few operations (EnvWrapper).
//
// Paths are UTF-16 in the host's form ('\' or '/' between folders, an
// optional drive). Every operation answers a Status made where it failed.
// Engines take the Env they use as a parameter; only the LISP-callable
// handlers pick the platform's own.
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
  uint64_t size = 0;         // set when the search was asked for sizes
};

// What a path leads to, links followed.
struct FileInfo {
  bool isDirectory = false;
  bool isLink = false;    // the path's last name is itself a link
  bool readOnly = false;  // nobody may write it: no write bit (POSIX), the read-only attribute
  uint64_t size = 0;
  int64_t modified = 0;  // last written, in seconds since 1970 (UTC)
  uint32_t links = 1;    // hard links to a file
  // Identity: two paths with equal volume and fileId lead to one file or
  // folder (device and inode, volume serial number and file ID).
  uint64_t volume = 0;
  uint64_t fileId = 0;
};

enum class OpenMode {
  kRead,            // existing file, read only
  kReadWrite,       // existing file, read and write in place
  kCreateTruncate,  // create or truncate, write only
};

// An open file with positional I/O.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Reads up to `n` bytes at `offset`; `*got` receives the count, 0 at the
  // end of the file. A short count is no failure.
  virtual Status read(uint64_t offset, void* data, size_t n, size_t* got) = 0;
  // Writes all `n` bytes at `offset`.
  virtual Status write(uint64_t offset, const void* data, size_t n) = 0;
  virtual Status size(uint64_t* size) = 0;
  // Cuts the file to `size` bytes.
  virtual Status truncate(uint64_t size) = 0;
  // Makes everything written so far durable: it survives a power loss.
  virtual Status sync() = 0;
  // Takes an exclusive lock on `length` bytes from `offset`, which may lie
  // beyond the end of the file, waiting up to `timeoutMs` for another
  // handle to release them (kBusy then). Locks belong to the handle: a
  // second handle of the same file, in this process or another, is kept
  // out, and closing it does not release them. The lock ends when this
  // file is closed.
  virtual Status lock(uint64_t offset, uint64_t length, int timeoutMs) = 0;
  // The identity of the open file, as FileInfo gives it for a path.
  virtual Status identify(uint64_t* volume, uint64_t* fileId) = 0;
  // Closes the file. Closing again does nothing and succeeds.
  virtual Status close() = 0;
  // The path the file was opened by, for messages; empty when it has none.
  virtual std::u16string path() const { return std::u16string(); }
};

// An exclusive lock on a file's name rather than on one file: held by an
// edit from reading the file to putting a new file in its place, so that a
// second editor waits for the new file instead of reading the old one.
// Released when destroyed.
class NameLock {
 public:
  NameLock() = default;
  NameLock(const NameLock&) = delete;
  NameLock& operator=(const NameLock&) = delete;
  virtual ~NameLock() = default;
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The platform's own services.
  static Env* defaultEnv();

  // Lists the entries matching `pattern` (a directory part and a last
  // component that may hold '*' and '?'), "." and ".." included when the
  // pattern matches them, sorted by name (see the implementations).
  // kNotFound when nothing matches or the folder does not exist.
  virtual Status findFiles(std::u16string_view pattern, bool wantSizes,
                           std::vector<DirEntry>* entries) = 0;
  // Describes what `path` leads to. kNotFound when nothing is there.
  virtual Status fileInfo(std::u16string_view path, FileInfo* info) = 0;
  // Copies a file's bytes over an existing destination (the destination
  // keeps its identity: its hard links see the copy), or to a new file.
  // Refuses a read-only destination.
  virtual Status copyFile(std::u16string_view from, std::u16string_view to) = 0;
  // Removes a file; refuses a read-only one and a folder.
  virtual Status removeFile(std::u16string_view path) = 0;
  // Gives a file or folder a new name, never in place of another: kExists
  // when `to` is taken.
  virtual Status renameFile(std::u16string_view from, std::u16string_view to) = 0;
  // Makes a folder in an existing one; kExists when the name is taken.
  virtual Status createDirectory(std::u16string_view path) = 0;
  virtual Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) = 0;
  // Creates a new file with a fresh name in `directory` (a directory part
  // as splitPath gives it, possibly with a drive; empty for the current
  // directory), exclusively: never an existing file. The name is `prefix`,
  // six characters of kTempUniqueLength, and ".tmp", so that the temporary
  // files of one task can be told from others' (see isTempName). `*path`
  // receives its path in the same form.
  virtual Status createTempFile(std::u16string_view directory, std::u16string_view prefix,
                                std::u16string* path, std::unique_ptr<File>* file) = 0;
  // Puts the file `from` in the place of `to` in one atomic step, giving it
  // the permission bits (attributes) of the file it replaces. On failure
  // `to` is unchanged and `from` still exists. The change of names is
  // durable only after syncDirectory of their folder.
  virtual Status replaceFile(std::u16string_view from, std::u16string_view to) = 0;
  // Makes the names in `directory` durable: files created, removed or
  // replaced there survive a power loss.
  virtual Status syncDirectory(std::u16string_view directory) = 0;
  // When the last name of `path` is a symbolic link, the path of the file it
  // finally leads to; otherwise `path` unchanged.
  virtual Status resolveLink(std::u16string_view path, std::u16string* resolved) = 0;
  // Locks the name `path` against every other holder, in this process or
  // another, waiting up to `timeoutMs` (kBusy then). POSIX locks the file
  // the name leads to (and the new one, when it was replaced meanwhile), so
  // a name with no file behind it is not locked there; Windows locks the
  // name itself.
  virtual Status lockName(std::u16string_view path, int timeoutMs,
                          std::unique_ptr<NameLock>* lock) = 0;
};

// Forwards every call to another Env; a test double overrides only what it
// changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  Status findFiles(std::u16string_view pattern, bool wantSizes,
                   std::vector<DirEntry>* entries) override {
    return target_->findFiles(pattern, wantSizes, entries);
  }
  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    return target_->fileInfo(path, info);
  }
  Status copyFile(std::u16string_view from, std::u16string_view to) override {
    return target_->copyFile(from, to);
  }
  Status removeFile(std::u16string_view path) override { return target_->removeFile(path); }
  Status renameFile(std::u16string_view from, std::u16string_view to) override {
    return target_->renameFile(from, to);
  }
  Status createDirectory(std::u16string_view path) override {
    return target_->createDirectory(path);
  }
  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    return target_->openFile(path, mode, file);
  }
  Status createTempFile(std::u16string_view directory, std::u16string_view prefix,
                        std::u16string* path, std::unique_ptr<File>* file) override {
    return target_->createTempFile(directory, prefix, path, file);
  }
  Status replaceFile(std::u16string_view from, std::u16string_view to) override {
    return target_->replaceFile(from, to);
  }
  Status syncDirectory(std::u16string_view directory) override {
    return target_->syncDirectory(directory);
  }
  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    return target_->resolveLink(path, resolved);
  }
  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    return target_->lockName(path, timeoutMs, lock);
  }

 private:
  Env* target_;
};

// The length of the unique part of a temporary file's name.
constexpr size_t kTempUniqueLength = 6;
// Whether `name` (a last component) is a temporary file createTempFile made
// with `prefix`.
bool isTempName(std::u16string_view name, std::u16string_view prefix);

// lockName as a file lock: opens the file `path` leads to and locks one byte
// of it far beyond any end; once the lock is held the name must still lead
// to the file locked, else the file that replaced it is locked instead. No
// lock when nothing is at `path`.
Status lockFileOfName(Env& env, std::u16string_view path, int timeoutMs,
                      std::unique_ptr<NameLock>* lock);

// Makes this process remove the temporary files it has open when a signal
// stops it (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: the console's Ctrl-C,
// Ctrl-Break and close), then end as the signal would have ended it. For
// programs of our own; a module inside the CAD host leaves the host's
// signals alone.
void removeTemporaryFilesOnSignals();

// True when something exists at `path`.
bool fileExists(Env& env, std::u16string_view path);
// Reads exactly `n` bytes at `offset`; a short read is kIoError.
Status readExactly(File& file, uint64_t offset, void* data, size_t n);
// The whole file at `path`, read into *bytes.
Status readWholeFile(Env& env, std::u16string_view path, std::string* bytes);
// Makes the file at `path` hold `bytes`: created or cut, written, closed.
Status writeWholeFile(Env& env, std::u16string_view path, std::string_view bytes);

// Writes the process's standard output directly (not the host's command
// line), in order with everything else written there through C stdio.
void writeStandardOutput(std::string_view bytes);

}  // namespace platform
