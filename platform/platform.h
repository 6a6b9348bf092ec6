// Portable file, path and code-page services.
//
// Encodings: every path and text parameter is UTF-16 (the host's encoding).
// "ANSI" text is 8-bit text in the system ANSI code page: GetACP() on
// Windows; on POSIX the number in the environment variable ANSI_CODEPAGE
// (950 when unset). The OS's own encoding appears only inside the
// implementations.
//
// File services go through an Env so that tests can substitute an Env that
// fails chosen operations (see EnvWrapper).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- text

// The active ANSI code page number.
int ansiCodePage();
// UTF-16 to the ANSI code page; a character without a mapping becomes the
// code page's default character '?'.
std::string toAnsi(std::u16string_view text);
// ANSI code page to UTF-16; an invalid byte sequence becomes '?' (U+FFFD
// under 65001).
std::u16string fromAnsi(std::string_view text);
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);
// Simple (one-to-one) Unicode case mapping of every UTF-16 code unit.
std::u16string toLowerWide(std::u16string_view text);
std::u16string toUpperWide(std::u16string_view text);

// True when `byte` starts a two-byte character in the ANSI code page.
bool isLeadByte(unsigned char byte);

// The lead bytes of the ANSI code page in force when it was made, for
// comparing many texts without asking for the code page each time.
class LeadBytes {
 public:
  LeadBytes();
  bool isLead(unsigned char byte) const { return lead_[byte]; }

 private:
  bool lead_[256];
};

// Compares two ANSI texts ignoring the case of ASCII letters only. The second
// byte of a double-byte character is compared exactly, never folded.
// Returns <0, 0 or >0 as strcmp does.
int compareIgnoringCase(std::string_view a, std::string_view b);
int compareIgnoringCase(std::string_view a, std::string_view b, const LeadBytes& leads);
// The longest prefix of `text` of at most `limit` bytes that does not end in
// the middle of a double-byte character.
size_t clipToCharacters(std::string_view text, size_t limit);

// ---------------------------------------------------------------- paths

// The parts of a path as _wsplitpath_s gives them: drive ("C:" or empty),
// directory (up to and including the last '\' or '/'), file name (up to its
// last '.') and extension (from that '.' on).
struct PathParts {
  std::u16string drive;
  std::u16string dir;
  std::u16string name;
  std::u16string ext;
};
PathParts splitPath(std::u16string_view path);

// True when `name` matches the directory-search pattern `pattern` ('*' and
// '?', ASCII case ignored, "*.*" matching every name) as the Windows
// directory search does.
bool matchesPattern(std::u16string_view pattern, std::u16string_view name);

// ---------------------------------------------------------------- files

struct DirEntry {
  std::u16string name;
  bool isDirectory = false;
  // A symbolic link or junction; a linked directory is never descended.
  bool isLink = false;
  uint64_t size = 0;  // set when the search was asked for sizes
};

enum class OpenMode {
  kRead,            // existing file, read only
  kReadWrite,       // existing file, read and write in place
  kCreateTruncate,  // create or truncate, write only
};

// An open file with positional I/O. Each call reports failure by returning
// false; short reads are not failures (see `read`).
class File {
 public:
  virtual ~File() = default;
  // Reads up to `n` bytes at `offset`; `*got` receives the count (0 at the end
  // of the file). False only on an I/O error.
  virtual bool read(uint64_t offset, void* data, size_t n, size_t* got) = 0;
  // Writes all `n` bytes at `offset`; false if any could not be written.
  virtual bool write(uint64_t offset, const void* data, size_t n) = 0;
  virtual std::optional<uint64_t> size() = 0;
  // Flushes the file's data to the disk.
  virtual bool sync() = 0;
  // Takes an exclusive lock on the whole file, waiting up to `timeoutMs` for
  // another process to release it. The lock ends when the file is closed.
  virtual bool lockExclusive(int timeoutMs) = 0;
  // Closes the file; false if the close reported an error.
  virtual bool close() = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The platform's own services.
  static Env* defaultEnv();
  // The services in use (defaultEnv() unless a test installed another).
  static Env* current();
  static void setCurrent(Env* env);

  // Lists the entries matching `pattern` (a directory part and a last
  // component that may hold '*' and '?'), "." and ".." included when the
  // pattern matches them. Entries come sorted by name on POSIX and in the
  // file system's order on Windows. False when nothing matches or the
  // directory cannot be read.
  virtual bool findFiles(std::u16string_view pattern, bool wantSizes,
                         std::vector<DirEntry>* entries) = 0;
  // Copies a file, replacing an existing destination.
  virtual bool copyFile(std::u16string_view from, std::u16string_view to) = 0;
  virtual bool removeFile(std::u16string_view path) = 0;
  virtual bool fileExists(std::u16string_view path) = 0;
  // The size of a regular file, or nothing when there is none.
  virtual std::optional<uint64_t> fileSize(std::u16string_view path) = 0;
  virtual std::unique_ptr<File> openFile(std::u16string_view path, OpenMode mode) = 0;
  // Creates a new file with a fresh unique name in `directory` (a directory
  // part as splitPath gives it, possibly with a drive; empty for the current
  // directory), exclusively: never an existing file. `*path` receives its
  // path.
  virtual std::unique_ptr<File> createTempFile(std::u16string_view directory,
                                               std::u16string* path) = 0;
  // Puts the file `from` in the place of `to` in one atomic step, giving it
  // the permission bits of the file it replaces. On failure `to` is unchanged
  // and `from` still exists.
  virtual bool replaceFile(std::u16string_view from, std::u16string_view to) = 0;
};

// Forwards every call to another Env; a test double overrides only what it
// changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  bool findFiles(std::u16string_view pattern, bool wantSizes,
                 std::vector<DirEntry>* entries) override {
    return target_->findFiles(pattern, wantSizes, entries);
  }
  bool copyFile(std::u16string_view from, std::u16string_view to) override {
    return target_->copyFile(from, to);
  }
  bool removeFile(std::u16string_view path) override { return target_->removeFile(path); }
  bool fileExists(std::u16string_view path) override { return target_->fileExists(path); }
  std::optional<uint64_t> fileSize(std::u16string_view path) override {
    return target_->fileSize(path);
  }
  std::unique_ptr<File> openFile(std::u16string_view path, OpenMode mode) override {
    return target_->openFile(path, mode);
  }
  std::unique_ptr<File> createTempFile(std::u16string_view directory,
                                       std::u16string* path) override {
    return target_->createTempFile(directory, path);
  }
  bool replaceFile(std::u16string_view from, std::u16string_view to) override {
    return target_->replaceFile(from, to);
  }

 private:
  Env* target_;
};

// Reads exactly `n` bytes at `offset`; false on an error or a short read.
bool readExactly(File& file, uint64_t offset, void* data, size_t n);

// Writes the process's standard output directly (not the host's command
// line), in order with everything else written there through C stdio.
void writeStandardOutput(std::string_view bytes);

}  // namespace platform
