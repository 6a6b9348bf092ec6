// The file primitives on Win32, on file handles: each is the system
// service it names, with every failure reported. Paths are passed to the *W
// services as they are (char16_t and wchar_t are both UTF-16 here), or in
// the "\\?\" form when they are too long for them.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>

#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"
#include "temporary_registry.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

namespace platform {
namespace {

std::wstring wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::u16string fromWide(std::wstring_view text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

ErrorKind kindOf(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_MORE_FILES:
      return ErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_BAD_FILE_TYPE:
    case ERROR_CANT_RESOLVE_FILENAME:  // links that lead round in a circle
      return ErrorKind::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return ErrorKind::kBusy;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
      return ErrorKind::kExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrorKind::kNoSpace;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return ErrorKind::kInvalidName;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return ErrorKind::kIoError;
    case ERROR_TOO_MANY_OPEN_FILES:  // this process's want, not the file's
    default:
      return ErrorKind::kOther;
  }
}

Status lastError(const char* operation, std::u16string_view path) {
  return windowsError(operation, path, GetLastError());
}

// The full form of `path` (GetFullPathNameW), however long it is. False
// with the system's error in GetLastError() when it has none.
bool fullPathOf(std::u16string_view path, std::wstring* full) {
  const std::wstring given = wide(path);
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      *full = std::move(buffer);
      return true;
    }
    buffer.resize(length);  // the length it needs, terminator included
  }
}

// Paths whose full form reaches this length go to the system in the "\\?\"
// form: MAX_PATH less room for an 8.3 name, the limit of CreateDirectoryW.
constexpr size_t kShortPathLimit = MAX_PATH - 12;

// The name the Win32 file services are given for `path`: the path itself,
// or, when its full form is too long for them, that full form as
// "\\?\C:\..." (Windows takes long paths otherwise only when both a
// registry setting and the program's manifest allow it).
std::wstring native(std::u16string_view path) {
  std::wstring full;
  if (path.empty() || !fullPathOf(path, &full) || full.size() + 1 < kShortPathLimit) {
    return wide(path);
  }
  return wide(extendedLengthPath(fromWide(full)));
}

// Names Windows would take for a device or an alternate stream are no
// files: refused before the system sees them.
Status checkName(const char* operation, std::u16string_view path) {
  return isReservedName(path) ? windowsError(operation, path, ERROR_INVALID_NAME) : Status();
}

// FILETIME counts 100 ns from 1601; FileInfo::modified nanoseconds from
// 1970. Times past what 64 bits of nanoseconds hold (the year 2262) stop
// there.
constexpr int64_t kTicksTo1970 = 116444736000000000LL;

int64_t nanosecondsOf(const FILETIME& time) {
  const auto ticks =
      static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  const int64_t since1970 = ticks - kTicksTo1970;
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 100;
  if (since1970 > kLimit) return std::numeric_limits<int64_t>::max();
  if (since1970 < -kLimit) return std::numeric_limits<int64_t>::min();
  return since1970 * 100;
}

// Never 0 (which SetFileInformationByHandle reads as "unchanged") nor
// negative: the earliest 64 bits of nanoseconds reach is in the year 1677.
LONGLONG ticksOf(int64_t nanoseconds) {
  int64_t ticks = nanoseconds / 100;
  if (nanoseconds % 100 < 0) --ticks;
  return ticks + kTicksTo1970;
}

FileInfo infoOf(const BY_HANDLE_FILE_INFORMATION& data) {
  FileInfo info;
  info.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.isRegular = !info.isDirectory;
  info.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  info.modified = nanosecondsOf(data.ftLastWriteTime);
  info.attributes = data.dwFileAttributes;
  info.links = data.nNumberOfLinks;
  info.volume = data.dwVolumeSerialNumber;
  info.fileId = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
  return info;
}

// The attributes a program may give a file (SetFileAttributesW); the others
// (folder, compressed, sparse, encrypted, reparse point) only the file
// system sets.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD settable(DWORD attributes) {
  attributes &= kSettableAttributes;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Files are opened without sharing restrictions, as the host's other
// programs expect of them; sharing deletion too, so that an editor holding
// a library open (and locked) can still put the new one in its place.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether a reparse point is a link (a symbolic link or a junction), from
// its tag, rather than a file some driver keeps elsewhere (deduplicated,
// held in the cloud), which is a file like any other.
bool isLinkTag(DWORD tag) {
  return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// Whether the last name of `name` is a link; `attributes` are its own.
Status isLinkAt(const std::wstring& name, DWORD attributes, std::u16string_view path, bool* link) {
  *link = false;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Status();
  HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return lastError("stat", path);
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  const bool known = GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag);
  const DWORD error = GetLastError();
  CloseHandle(handle);
  if (!known) return windowsError("stat", path, error);
  *link = isLinkTag(tag.ReparseTag);
  return Status();
}

// What `name` leads to, links followed, asked of a handle opened for its
// attributes only (which no sharing mode keeps out).
Status statFollowing(const std::wstring& name, std::u16string_view path, FileInfo* info) {
  HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return lastError("stat", path);
  BY_HANDLE_FILE_INFORMATION data;
  const bool known = GetFileInformationByHandle(handle, &data);
  const DWORD error = GetLastError();
  // A named pipe or a device answers too, and is no file.
  const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  if (!known) return windowsError("stat", path, error);
  *info = infoOf(data);
  if (!disk) info->isRegular = false;
  return Status();
}

// ---------------------------------------------------------------- temporaries

// The temporary files this process has made and not yet renamed or
// removed, for the console control handler to remove; each by its full
// path in the "\\?\" form, which means the same file whatever the current
// folder is when the handler runs.
TemporaryRegistry<wchar_t> temporaries;

// Held shared while a temporary file is made and noted, and taken for good
// by the control handler: no file is made between the two and left
// behind, and none is made once the handler has begun.
SRWLOCK creatingTemporary = SRWLOCK_INIT;

std::wstring registryName(std::u16string_view path) {
  std::wstring full;
  if (!fullPathOf(path, &full)) return std::wstring();
  return wide(extendedLengthPath(fromWide(full)));
}

void removeTemporary(const wchar_t* path) {
  if (DeleteFileW(path) || GetLastError() != ERROR_ACCESS_DENIED) return;
  // Given its attributes already: perhaps read-only, as a copy of a
  // read-only file is. The handle that wrote it shares deletion.
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path);
}

BOOL WINAPI removeTemporariesOnControl(DWORD) {
  AcquireSRWLockExclusive(&creatingTemporary);  // never released: the process ends
  temporaries.removeAll(removeTemporary);
  return FALSE;  // and the process ends as it would have
}

// As on POSIX, each copy of this layer (the program's, each module's) adds
// its own handler once the program has asked for the cleanup.
constexpr wchar_t kCleanupVariable[] = L"ZC_REMOVE_TEMPORARIES_ON_SIGNALS";
std::atomic<bool> handlerInstalled{false};

void installCleanupHandler() {
  if (!handlerInstalled.exchange(true)) SetConsoleCtrlHandler(removeTemporariesOnControl, TRUE);
}

// A module's copy removes its handler when the module is unloaded: the
// system would otherwise call into code no longer mapped.
struct CleanupHandlerRemover {
  ~CleanupHandlerRemover() {
    if (handlerInstalled.exchange(false)) SetConsoleCtrlHandler(removeTemporariesOnControl, FALSE);
  }
} cleanupHandlerRemover;

void forgetTemporary(std::u16string_view path) {
  const std::wstring name = registryName(path);
  if (!name.empty()) temporaries.forget(name);
}

// ---------------------------------------------------------------- files

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// The most one ReadFile or WriteFile is asked to move.
constexpr size_t kChunk = size_t{1} << 30;

class Win32File : public File {
 public:
  Win32File(HANDLE handle, std::u16string_view path) : handle_(handle), path_(path) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    *got = 0;
    auto* out = static_cast<unsigned char*>(data);
    while (n > 0) {
      const auto chunk = static_cast<DWORD>(std::min(n, kChunk));
      DWORD read = 0;
      OVERLAPPED position = at(offset);
      if (!ReadFile(handle_, out, chunk, &read, &position)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return Status();
        return lastError("read", path_);
      }
      if (read == 0) break;
      *got += read;
      out += read;
      offset += read;
      n -= read;
    }
    return Status();
  }

  Status write(uint64_t offset, const void* data, size_t n) override {
    const auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
      const auto chunk = static_cast<DWORD>(std::min(n, kChunk));
      DWORD written = 0;
      OVERLAPPED position = at(offset);
      if (!WriteFile(handle_, in, chunk, &written, &position)) return lastError("write", path_);
      if (written == 0) return windowsError("write", path_, ERROR_WRITE_FAULT);
      in += written;
      offset += written;
      n -= written;
    }
    return Status();
  }

  Status size(uint64_t* size) override {
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(handle_, &bytes)) return lastError("size", path_);
    *size = static_cast<uint64_t>(bytes.QuadPart);
    return Status();
  }

  Status truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
      return lastError("truncate", path_);
    }
    return Status();
  }

  Status sync() override { return FlushFileBuffers(handle_) ? Status() : lastError("sync", path_); }

  Status stat(FileInfo* info) override {
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(handle_, &data)) return lastError("stat", path_);
    *info = infoOf(data);
    return Status();
  }

  // Times left 0 stay as they are.
  Status setAttributes(uint32_t attributes) override {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = settable(attributes);
    if (!SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic)) {
      return lastError("set the attributes of", path_);
    }
    return Status();
  }

  // Attributes left 0 stay as they are, and so do the other times.
  // Windows has no owners to give back here: a replaced file's security
  // is the new file's, as MoveFileExW leaves it.
  Status setOwner(uint32_t, uint32_t) override { return Status(); }

  Status setModified(int64_t modified) override {
    FILE_BASIC_INFO basic = {};
    basic.LastWriteTime.QuadPart = ticksOf(modified);
    if (!SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic)) {
      return lastError("set the time of", path_);
    }
    return Status();
  }

  // LockFileEx waits for a lock without any bound, so the lock is asked
  // for again, pausing a little longer each time, until the time is up.
  Status lock(uint64_t offset, uint64_t length, int timeoutMs) override {
    const ULONGLONG allowed = timeoutMs > 0 ? static_cast<ULONGLONG>(timeoutMs) : 0;
    const ULONGLONG start = GetTickCount64();
    for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 16)) {
      OVERLAPPED position = at(offset);
      if (LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                     static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &position)) {
        return Status();
      }
      const DWORD error = GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        return windowsError("lock", path_, error);
      }
      const ULONGLONG waited = GetTickCount64() - start;
      if (waited >= allowed) return windowsError("lock", path_, ERROR_LOCK_VIOLATION);
      Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, allowed - waited)));
    }
  }

  Status close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return Status();
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) ? Status() : lastError("close", path_);
  }

  std::u16string path() const override { return path_; }

 private:
  HANDLE handle_;
  std::u16string path_;
};

// Opens `path` and makes a File of it when it is a file on a disk: a
// device (CON, a COM port), a pipe or a folder is refused.
Status openHandle(const char* operation, std::u16string_view path, DWORD access, DWORD disposition,
                  std::unique_ptr<File>* file) {
  HANDLE handle = CreateFileW(native(path).c_str(), access, kShareAll, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return lastError(operation, path);
  DWORD refusal = 0;
  BY_HANDLE_FILE_INFORMATION data;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    refusal = ERROR_BAD_FILE_TYPE;
  } else if (!GetFileInformationByHandle(handle, &data)) {
    refusal = GetLastError();
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    refusal = ERROR_ACCESS_DENIED;
  }
  if (refusal != 0) {
    CloseHandle(handle);
    return windowsError(operation, path, refusal);
  }
  *file = std::make_unique<Win32File>(handle, path);
  return Status();
}

// ---------------------------------------------------------------- name locks

// A name's lock: a named mutex for the name's full path, letter case
// folded, which keeps out other processes (and is handed on when a holder
// ends without releasing it), behind a semaphore of this process for the
// same name, which keeps out the process's other holders. A mutex alone
// would not: it lets the thread that holds it take it again. The lock
// cannot be on the file itself: Windows cannot put a new file in the place
// of one an editor holds open.
//
// A mutex belongs to the thread that took it, and only that thread may
// release it: a lock released on another thread keeps other processes out
// until the taking thread ends.
class MutexLock : public NameLock {
 public:
  MutexLock(HANDLE inProcess, HANDLE acrossProcesses)
      : inProcess_(inProcess), acrossProcesses_(acrossProcesses) {}
  ~MutexLock() override {
    ReleaseMutex(acrossProcesses_);
    CloseHandle(acrossProcesses_);
    ReleaseSemaphore(inProcess_, 1, nullptr);
    CloseHandle(inProcess_);
  }

 private:
  HANDLE inProcess_;
  HANDLE acrossProcesses_;
};

// The names of a name's two objects, which say the full path they lock
// whole where it fits: another name never shares them. A path too long for
// an object's name (MAX_PATH) is named by a 128-bit hash of it instead.
void lockObjectNames(const std::u16string& folded, std::wstring* semaphore, std::wstring* mutex) {
  constexpr wchar_t kPrefix[] = L"Local\\zc-name-";
  wchar_t process[16];
  std::swprintf(process, sizeof process / sizeof process[0], L"%08lx-",
                static_cast<unsigned long>(GetCurrentProcessId()));
  // Object names hold no '\', and full paths no '/'.
  std::wstring key = wide(folded);
  std::replace(key.begin(), key.end(), L'\\', L'/');
  const size_t longest = (sizeof kPrefix / sizeof kPrefix[0] - 1) + 9 + key.size();
  if (longest >= MAX_PATH) {
    // FNV-1a over the UTF-16 units forwards, and backwards from another start.
    uint64_t forwards = 14695981039346656037ull, backwards = 0x84222325cbf29ce4ull;
    for (size_t i = 0; i < folded.size(); ++i) {
      forwards = (forwards ^ folded[i]) * 1099511628211ull;
      backwards = (backwards ^ folded[folded.size() - 1 - i]) * 1099511628211ull;
    }
    wchar_t hash[40];
    std::swprintf(hash, sizeof hash / sizeof hash[0], L"#%016llx%016llx",
                  static_cast<unsigned long long>(forwards),
                  static_cast<unsigned long long>(backwards));
    key = hash;
  }
  *mutex = kPrefix + key;
  *semaphore = kPrefix + std::wstring(process) + key;
}

// Waits for `object` until `deadline` (GetTickCount64); an abandoned mutex
// was held by a thread that ended, and is the waiter's now.
DWORD waitUntil(HANDLE object, ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  const DWORD waited = WaitForSingleObject(object, wait);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return 0;
  return waited == WAIT_TIMEOUT ? ERROR_LOCK_VIOLATION : GetLastError();
}

// Whether a rename that succeeded left the file where it was: Wine renames
// a file onto another of its own names (a hard link) by doing nothing, as
// rename(2) does, where Windows refuses the taken name. So it did when
// `from` is still there, as the file `to` names, and is not `to`'s name in
// other letter case.
bool stayedWhereItWas(std::u16string_view from, std::u16string_view to) {
  const std::wstring source = native(from);
  if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  std::wstring fullFrom, fullTo;
  if (!fullPathOf(from, &fullFrom) || !fullPathOf(to, &fullTo) ||
      toUpperWide(fromWide(fullFrom)) == toUpperWide(fromWide(fullTo))) {
    return false;
  }
  FileInfo left, named;
  return statFollowing(source, from, &left).ok() && statFollowing(native(to), to, &named).ok() &&
         left.sameFileAs(named);
}

// ---------------------------------------------------------------- the Env

// Why a search of the folder `prefix` found nothing, which FindFirstFileW
// says in `error`: an empty folder (a drive's root has no "." or ".."), a
// folder that is not there (a file is no folder), or the failure it is.
Status nothingFound(const std::u16string& prefix, const std::u16string& shown, DWORD error) {
  const bool searched =
      error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
  if (!searched) return windowsError("list", shown, error);
  const DWORD attributes = GetFileAttributesW(native(prefix + u".").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD missing = GetLastError();
    return windowsError("list", shown,
                        missing == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : missing);
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return windowsError("list", shown, ERROR_PATH_NOT_FOUND);
  }
  return error == ERROR_FILE_NOT_FOUND ? Status() : windowsError("list", shown, error);
}

class Win32Env : public Env {
 public:
  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    if (Status bad = checkName("open", path); !bad.ok()) return bad;
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    switch (mode) {
      case OpenMode::kRead:
        return openHandle("open", path, GENERIC_READ, OPEN_EXISTING, file);
      case OpenMode::kReadWrite:
        // A read-only file is refused by Windows here, and by the layer
        // above on Wine, which lets root write one.
        return openHandle("open", path, kReadWrite, OPEN_EXISTING, file);
      case OpenMode::kCreateNew:
        return openHandle("create", path, kReadWrite, CREATE_NEW, file);
      case OpenMode::kCreateTemporary: {
        if (GetEnvironmentVariableW(kCleanupVariable, nullptr, 0) > 0) installCleanupHandler();
        const std::wstring name = registryName(path);
        AcquireSRWLockShared(&creatingTemporary);
        Status s = openHandle("create", path, kReadWrite, CREATE_NEW, file);
        if (s.ok() && !name.empty()) temporaries.note(name);
        ReleaseSRWLockShared(&creatingTemporary);
        return s;
      }
    }
    return windowsError("open", path, ERROR_INVALID_PARAMETER);
  }

  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    // An empty name names nothing; GetLastError() would still hold an
    // older failure.
    if (path.empty()) return windowsError("stat", path, ERROR_FILE_NOT_FOUND);
    if (Status bad = checkName("stat", path); !bad.ok()) return bad;
    const std::wstring name = native(path);
    WIN32_FILE_ATTRIBUTE_DATA own;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &own)) {
      return lastError("stat", path);
    }
    bool link = false;
    if (Status s = isLinkAt(name, own.dwFileAttributes, path, &link); !s.ok()) return s;
    // The rest describes what a link leads to.
    if (Status s = statFollowing(name, path, info); !s.ok()) return s;
    info->isLink = link;
    return Status();
  }

  Status entryInfo(std::u16string_view path, FileInfo* info) override {
    if (path.empty()) return windowsError("stat", path, ERROR_FILE_NOT_FOUND);
    if (Status bad = checkName("stat", path); !bad.ok()) return bad;
    const std::wstring name = native(path);
    WIN32_FILE_ATTRIBUTE_DATA own;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &own)) {
      return lastError("stat", path);
    }
    bool link = false;
    if (Status s = isLinkAt(name, own.dwFileAttributes, path, &link); !s.ok()) return s;
    if (!link) return statFollowing(name, path, info);
    // The link itself: opened as a reparse point, not followed.
    HANDLE handle =
        CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastError("stat", path);
    BY_HANDLE_FILE_INFORMATION data;
    const bool known = GetFileInformationByHandle(handle, &data);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!known) return windowsError("stat", path, error);
    *info = infoOf(data);
    info->isLink = true;
    info->isRegular = false;
    return Status();
  }

  Status listFolder(std::u16string_view folder, bool wantSizes,
                    std::vector<DirEntry>* entries) override {
    entries->clear();
    if (Status bad = checkName("list", folder); !bad.ok()) return bad;
    std::u16string prefix(folder);
    if (!prefix.empty() && prefix.back() != u'\\' && prefix.back() != u'/' &&
        prefix.back() != u':') {
      prefix += u'\\';
    }
    const std::u16string shown = folder.empty() ? u"." : std::u16string(folder);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(native(prefix + u"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return nothingFound(prefix, shown, GetLastError());
    Status failed;
    for (;;) {
      const std::u16string name = fromWide(data.cFileName);
      if (name != u"." && name != u"..") {
        DirEntry entry;
        entry.name = name;
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isLink =
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkTag(data.dwReserved0);
        if (entry.isLink) {
          // A link reports what it leads to; a link to nothing is a file.
          FileInfo target;
          const Status s = statFollowing(native(prefix + name), prefix + name, &target);
          if (s.ok()) {
            entry.isDirectory = target.isDirectory;
            entry.size = target.size;
          } else if (s.kind() == ErrorKind::kNotFound ||
                     s.systemError() == ERROR_CANT_RESOLVE_FILENAME) {
            entry.isDirectory = false;
          } else {
            failed = s;
            break;
          }
        } else {
          entry.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        }
        if (entry.isDirectory || !wantSizes) entry.size = 0;
        entries->push_back(std::move(entry));
      }
      if (!FindNextFileW(find, &data)) {
        // The end of the folder, or a read that failed: never the same.
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) failed = windowsError("list", shown, error);
        break;
      }
    }
    FindClose(find);
    if (!failed.ok()) entries->clear();
    return failed;
  }

  Status renameReplacing(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("rename", from); !bad.ok()) return bad;
    if (Status bad = checkName("rename", to); !bad.ok()) return bad;
    if (!MoveFileExW(native(from).c_str(), native(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return lastError("rename", to);
    }
    forgetTemporary(from);
    return Status();
  }

  Status renameNoReplace(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("rename", from); !bad.ok()) return bad;
    if (Status bad = checkName("rename", to); !bad.ok()) return bad;
    // Without MOVEFILE_REPLACE_EXISTING a taken name is refused.
    if (!MoveFileExW(native(from).c_str(), native(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
      return lastError("rename", to);
    }
    if (stayedWhereItWas(from, to)) return windowsError("rename", to, ERROR_ALREADY_EXISTS);
    forgetTemporary(from);
    return Status();
  }

  Status linkFile(std::u16string_view existing, std::u16string_view link) override {
    if (Status bad = checkName("link", existing); !bad.ok()) return bad;
    if (Status bad = checkName("link", link); !bad.ok()) return bad;
    if (!CreateHardLinkW(native(link).c_str(), native(existing).c_str(), nullptr)) {
      return lastError("link", link);
    }
    return Status();
  }

  // As unlink does on POSIX, removes a read-only file too: Windows refuses
  // to, so the attribute goes first, and comes back should the removal
  // still fail.
  Status removeFile(std::u16string_view path) override {
    if (Status bad = checkName("remove", path); !bad.ok()) return bad;
    const std::wstring name = native(path);
    if (!DeleteFileW(name.c_str())) {
      const DWORD error = GetLastError();
      if (error != ERROR_ACCESS_DENIED) return windowsError("remove", path, error);
      const DWORD attributes = GetFileAttributesW(name.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
          !(attributes & FILE_ATTRIBUTE_READONLY)) {
        return windowsError("remove", path, error);
      }
      if (!SetFileAttributesW(name.c_str(), settable(attributes & ~FILE_ATTRIBUTE_READONLY))) {
        return windowsError("remove", path, error);
      }
      if (!DeleteFileW(name.c_str())) {
        const Status failed = lastError("remove", path);
        SetFileAttributesW(name.c_str(), settable(attributes));
        return failed;
      }
    }
    forgetTemporary(path);
    return Status();
  }

  Status createDirectory(std::u16string_view path) override {
    if (Status bad = checkName("make folder", path); !bad.ok()) return bad;
    if (!CreateDirectoryW(native(path).c_str(), nullptr)) return lastError("make folder", path);
    return Status();
  }

  Status syncDirectory(std::u16string_view) override {
    // NTFS journals its names, and MOVEFILE_WRITE_THROUGH returns only after
    // the move reached the disk: there is no folder to flush.
    return Status();
  }

  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    if (Status bad = checkName("resolve", path); !bad.ok()) return bad;
    const std::wstring name = native(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return windowsError("stat", path, error);
      }
      *resolved = path;  // nothing there: nothing to follow
      return Status();
    }
    bool link = false;
    if (Status s = isLinkAt(name, attributes, path, &link); !s.ok()) return s;
    if (!link) {
      *resolved = path;
      return Status();
    }
    HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastError("resolve", path);
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
      length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
      if (length == 0 || length < final.size()) break;
      final.resize(length);  // the length it needs, terminator included
    }
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0) return windowsError("resolve", path, error);
    final.resize(length);
    // "\\?\C:\dir\name" and "\\?\UNC\server\share\name" in their usual forms.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      final = L"\\\\" + final.substr(8);
    } else if (final.rfind(L"\\\\?\\", 0) == 0 && final.size() >= 6 && final[5] == L':') {
      final = final.substr(4);
    }
    *resolved = fromWide(final);
    return Status();
  }

  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    if (Status bad = checkName("lock", path); !bad.ok()) return bad;
    std::wstring full;
    if (!fullPathOf(path, &full)) return lastError("lock", path);
    std::wstring semaphoreName, mutexName;
    lockObjectNames(toUpperWide(fromWide(full)), &semaphoreName, &mutexName);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    HANDLE inProcess = CreateSemaphoreW(nullptr, 1, 1, semaphoreName.c_str());
    if (!inProcess) return lastError("lock", path);
    if (const DWORD error = waitUntil(inProcess, deadline); error != 0) {
      CloseHandle(inProcess);
      return windowsError("lock", path, error);
    }
    HANDLE acrossProcesses = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    DWORD error = acrossProcesses ? waitUntil(acrossProcesses, deadline) : GetLastError();
    if (error != 0) {
      if (acrossProcesses) CloseHandle(acrossProcesses);
      ReleaseSemaphore(inProcess, 1, nullptr);
      CloseHandle(inProcess);
      return windowsError("lock", path, error);
    }
    *lock = std::make_unique<MutexLock>(inProcess, acrossProcesses);
    return Status();
  }

  // What NTFS gives a file a program makes: marked for the next backup.
  uint32_t newFileAttributes() override { return FILE_ATTRIBUTE_ARCHIVE; }

  // CopyFileW gives the copy the source's attributes, over a file or new.
  uint32_t attributesOfCopy(const FileInfo& source, const FileInfo*) override {
    return source.attributes;
  }
};

}  // namespace

void removeTemporaryFilesOnSignals() {
  SetEnvironmentVariableW(kCleanupVariable, L"1");
  installCleanupHandler();
}

Env* Env::defaultEnv() {
  static Win32Env env;
  return &env;
}

Status windowsError(const char* operation, std::u16string_view path, unsigned long error) {
  return Status::error(kindOf(error), static_cast<int>(error), operation, path);
}

// Windows' file systems ignore case themselves: nothing to keep.
NameCache::NameCache() = default;
NameCache::~NameCache() = default;

}  // namespace platform
