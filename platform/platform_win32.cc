// Win32 implementation of the platform services: the system's own code-page
// conversion and case mapping, and the file services on file handles.
// Paths are passed to the *W services unchanged (char16_t and wchar_t are
// both UTF-16 here).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>

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

// Paths whose full form reaches this length go to the system in the "\\?\"
// form: MAX_PATH less room for an 8.3 name, the limit of CreateDirectoryW.
constexpr DWORD kShortPathLimit = MAX_PATH - 12;

// The name the Win32 file services are given for `path`: the path itself,
// or, when its full form is too long for them, that full form as
// "\\?\C:\..." (Windows takes long paths otherwise only when both a
// registry setting and the program's manifest allow it).
std::wstring native(std::u16string_view path) {
  std::wstring given = wide(path);
  if (given.empty()) return given;
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed < kShortPathLimit) return given;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return given;
  full.resize(length);
  return wide(extendedLengthPath(std::u16string(full.begin(), full.end())));
}

// Names Windows would take for a device or an alternate stream are no
// files: refused before the system sees them.
Status checkName(const char* operation, std::u16string_view path) {
  return isReservedName(path) ? windowsError(operation, path, ERROR_INVALID_NAME) : Status();
}

std::u16string fromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
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
      return ErrorKind::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorKind::kBusy;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
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
    default:
      return ErrorKind::kOther;
  }
}

Status lastError(const char* operation, std::u16string_view path) {
  return windowsError(operation, path, GetLastError());
}

// The temporary files this process has made and not yet renamed or
// removed, for the console control handler to remove.
TemporaryRegistry<wchar_t> temporaries;

BOOL WINAPI removeTemporariesOnControl(DWORD);

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

void noteTemporary(const std::wstring& path) {
  if (GetEnvironmentVariableW(kCleanupVariable, nullptr, 0) > 0) installCleanupHandler();
  temporaries.note(path);
}

void forgetTemporary(const std::wstring& path) {
  temporaries.forget(path);
}

BOOL WINAPI removeTemporariesOnControl(DWORD) {
  temporaries.removeAll([](const wchar_t* path) { DeleteFileW(path); });  // handles share deletion
  return FALSE;  // and the process ends as it would have
}

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

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
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
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
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
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
    return SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)
               ? Status()
               : lastError("truncate", path_);
  }

  Status sync() override { return FlushFileBuffers(handle_) ? Status() : lastError("sync", path_); }
  std::u16string path() const override { return path_; }

  Status lock(uint64_t offset, uint64_t length, int timeoutMs) override {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
      OVERLAPPED position = at(offset);
      if (LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                     static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &position)) {
        return Status();
      }
      const DWORD error = GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        return windowsError("lock", path_, error);
      }
      if (GetTickCount64() >= deadline) return windowsError("lock", path_, ERROR_LOCK_VIOLATION);
      Sleep(2);
    }
  }

  Status identify(uint64_t* volume, uint64_t* fileId) override {
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(handle_, &data)) return lastError("stat", path_);
    *volume = data.dwVolumeSerialNumber;
    *fileId = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    return Status();
  }

  Status close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return Status();
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) ? Status() : lastError("close", path_);
  }

 private:
  HANDLE handle_;
  std::u16string path_;
};

// Files are opened without sharing restrictions, as the host's other
// programs expect of them; sharing deletion too, so that an editor holding
// a library open (and locked) can still put the new one in its place.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Status openHandle(std::u16string_view path, DWORD access, DWORD disposition,
                  std::unique_ptr<File>* file) {
  HANDLE handle = CreateFileW(native(path).c_str(), access, kShareAll, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return lastError("open", path);
  // A device (CON, a COM port) or a pipe is no file to read or write.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return windowsError("open", path, ERROR_BAD_FILE_TYPE);
  }
  *file = std::make_unique<Win32File>(handle, path);
  return Status();
}

bool isReadOnly(std::u16string_view path) {
  const DWORD attributes = GetFileAttributesW(native(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

class MutexLock : public NameLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexLock() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

class Win32Env : public Env {
 public:
  Status findFiles(std::u16string_view pattern, bool /*wantSizes*/,
                   std::vector<DirEntry>* entries) override {
    entries->clear();
    // The folder is searched whole and each long name matched here: the
    // system's search would also match short (8.3) names, so that "*.dwg"
    // found "plan.dwg1" (PLAN~1.DWG).
    const PathParts parts = splitPath(pattern);
    const std::u16string last = parts.name + parts.ext;
    if (Status bad = checkName("find", parts.drive + parts.dir); !bad.ok()) return bad;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(native(parts.drive + parts.dir + u"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return lastError("find", pattern);
    do {
      DirEntry entry;
      entry.name = fromWide(data.cFileName);
      if (!matchesPattern(last, entry.name)) continue;
      entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entry.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
      entries->push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    if (entries->empty()) return windowsError("find", pattern, ERROR_FILE_NOT_FOUND);
    // NTFS yields names in ordinal, case-insensitive order; other file
    // systems (and Wine's) do not, so the order is made the same everywhere.
    std::stable_sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) {
      return CompareStringOrdinal(reinterpret_cast<LPCWCH>(a.name.c_str()), -1,
                                  reinterpret_cast<LPCWCH>(b.name.c_str()), -1,
                                  TRUE) == CSTR_LESS_THAN;
    });
    return Status();
  }

  Status fileInfo(std::u16string_view path, FileInfo* info) override {
    if (Status bad = checkName("stat", path); !bad.ok()) return bad;
    const std::wstring name = native(path);
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    // An empty name names nothing; GetLastError() would still hold an
    // older failure.
    if (path.empty()) return windowsError("stat", path, ERROR_PATH_NOT_FOUND);
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &attributes)) {
      return lastError("stat", path);
    }
    *info = FileInfo();
    info->isLink = (attributes.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // The rest describes what a link leads to: ask an open handle.
    HANDLE handle = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastError("stat", path);
    BY_HANDLE_FILE_INFORMATION data;
    const bool known = GetFileInformationByHandle(handle, &data);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!known) return windowsError("stat", path, error);
    info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    // FILETIME counts 100 ns from 1601.
    const uint64_t ticks = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                           data.ftLastWriteTime.dwLowDateTime;
    info->modified = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
    info->links = data.nNumberOfLinks;
    info->volume = data.dwVolumeSerialNumber;
    info->fileId = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    return Status();
  }

  // Copies with CopyFileW into a temporary file beside the target (where a
  // link leads), then puts it in the target's place: the target is replaced
  // whole or not at all, with what CopyFileW gives it (the source's
  // attributes and last-write time). A target with several hard links is
  // copied over in place instead, so that every name sees the copy.
  Status copyFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("copy", from); !bad.ok()) return bad;
    if (Status bad = checkName("copy", to); !bad.ok()) return bad;
    // Windows refuses a read-only destination; Wine does not, so say it here.
    if (isReadOnly(to)) return windowsError("copy", to, ERROR_ACCESS_DENIED);
    std::u16string target;
    if (Status s = resolveLink(to, &target); !s.ok()) return s;
    FileInfo info;
    if (fileInfo(target, &info).ok() && info.links > 1) {
      return CopyFileW(native(from).c_str(), native(target).c_str(), FALSE) ? Status()
                                                                            : lastError("copy", to);
    }
    const PathParts parts = splitPath(target);
    std::u16string temporary;
    std::unique_ptr<File> file;
    Status s = createTempFile(parts.drive + parts.dir, u"~" + parts.name + parts.ext + u".",
                              &temporary, &file);
    if (!s.ok()) return s;
    file->close();
    const std::wstring written = native(temporary);
    if (!CopyFileW(native(from).c_str(), written.c_str(), FALSE)) {
      s = lastError("copy", to);
    } else if (!MoveFileExW(written.c_str(), native(target).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      s = lastError("replace", to);
    }
    if (!s.ok()) {
      SetFileAttributesW(written.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(written.c_str());
    }
    forgetTemporary(written);
    return s;
  }

  Status removeFile(std::u16string_view path) override {
    if (Status bad = checkName("remove", path); !bad.ok()) return bad;
    if (!DeleteFileW(native(path).c_str())) return lastError("remove", path);
    forgetTemporary(native(path));
    return Status();
  }

  Status renameFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("rename", from); !bad.ok()) return bad;
    if (Status bad = checkName("rename", to); !bad.ok()) return bad;
    // Without MOVEFILE_REPLACE_EXISTING a taken name is refused.
    if (!MoveFileExW(native(from).c_str(), native(to).c_str(), MOVEFILE_COPY_ALLOWED)) {
      return lastError("rename", to);
    }
    return Status();
  }

  Status createDirectory(std::u16string_view path) override {
    if (Status bad = checkName("make folder", path); !bad.ok()) return bad;
    if (!CreateDirectoryW(native(path).c_str(), nullptr)) return lastError("make folder", path);
    return Status();
  }

  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override {
    if (Status bad = checkName("open", path); !bad.ok()) return bad;
    // Windows refuses to write a read-only file; Wine lets root do it.
    if (mode != OpenMode::kRead && isReadOnly(path)) {
      return windowsError("open", path, ERROR_ACCESS_DENIED);
    }
    switch (mode) {
      case OpenMode::kRead:
        return openHandle(path, GENERIC_READ, OPEN_EXISTING, file);
      case OpenMode::kReadWrite:
        return openHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file);
      case OpenMode::kCreateTruncate:
        return openHandle(path, GENERIC_WRITE, CREATE_ALWAYS, file);
    }
    return windowsError("open", path, ERROR_INVALID_PARAMETER);
  }

  Status createTempFile(std::u16string_view directory, std::u16string_view prefix,
                        std::u16string* path, std::unique_ptr<File>* file) override {
    // A fresh name, created only where none exists (CREATE_NEW), so that no
    // other writer can take it.
    static const char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
    static ULONGLONG seed =
        GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 20);
    for (int attempt = 0; attempt < 1000; ++attempt) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      std::u16string name(prefix);
      for (size_t i = 0; i < kTempUniqueLength; ++i) name += kDigits[(seed >> (10 + 5 * i)) % 36];
      name += u".tmp";
      const std::u16string candidate = std::u16string(directory) + name;
      Status s = openHandle(candidate, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file);
      if (s.ok()) {
        *path = candidate;
        noteTemporary(native(candidate));
        return s;
      }
      if (s.kind() != ErrorKind::kExists)
        return windowsError("create temporary file in", directory,
                            static_cast<unsigned long>(s.systemError()));
    }
    return windowsError("create temporary file in", directory, ERROR_FILE_EXISTS);
  }

  Status replaceFile(std::u16string_view from, std::u16string_view to) override {
    if (Status bad = checkName("replace", to); !bad.ok()) return bad;
    const std::wstring target = native(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    // As for copies: Windows refuses to replace a read-only file, Wine not.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      return windowsError("replace", to, ERROR_ACCESS_DENIED);
    }
    if (!MoveFileExW(native(from).c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return lastError("replace", to);
    }
    forgetTemporary(native(from));
    // The library keeps the attributes it had (hidden, archive).
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), attributes);
    return Status();
  }

  Status syncDirectory(std::u16string_view) override {
    // NTFS journals its names, and MOVEFILE_WRITE_THROUGH returns only after
    // the move reached the disk: there is no folder to flush.
    return Status();
  }

  // A named mutex for the file's full path, case folded: Windows cannot put
  // a new file in the place of one an editor holds open, so the lock cannot
  // be on the file itself.
  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    wchar_t full[32768];
    const DWORD length =
        GetFullPathNameW(wide(path).c_str(), sizeof full / sizeof full[0], full, nullptr);
    if (length == 0 || length >= sizeof full / sizeof full[0]) return lastError("lock", path);
    const std::u16string folded =
        toUpperWide(std::u16string(reinterpret_cast<const char16_t*>(full), length));
    uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 units
    for (char16_t c : folded) hash = (hash ^ c) * 1099511628211ull;
    wchar_t name[64];
    swprintf(name, 64, L"Local\\zc-name-%016llx", static_cast<unsigned long long>(hash));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (!mutex) return lastError("lock", path);
    const DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(timeoutMs));
    // An abandoned mutex was held by a process that ended: it is ours now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      CloseHandle(mutex);
      return windowsError("lock", path,
                          waited == WAIT_TIMEOUT ? ERROR_LOCK_VIOLATION : GetLastError());
    }
    *lock = std::make_unique<MutexLock>(mutex);
    return Status();
  }

  Status resolveLink(std::u16string_view path, std::u16string* resolved) override {
    const std::wstring name = native(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      *resolved = path;
      return Status();
    }
    HANDLE handle = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastError("resolve", path);
    std::wstring final(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return windowsError("resolve", path, error);
    final.resize(length);
    // "\\?\C:\dir\name" and "\\?\UNC\server\share\name" in their usual forms.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      final = L"\\\\" + final.substr(8);
    } else if (final.rfind(L"\\\\?\\", 0) == 0) {
      final = final.substr(4);
    }
    *resolved = fromWide(final.c_str());
    return Status();
  }
};

std::u16string mapCase(std::u16string_view text, bool upper) {
  std::u16string out(text);
  if (out.empty()) return out;
  auto* buffer = reinterpret_cast<LPWSTR>(out.data());
  if (upper) {
    CharUpperBuffW(buffer, static_cast<DWORD>(out.size()));
  } else {
    CharLowerBuffW(buffer, static_cast<DWORD>(out.size()));
  }
  return out;
}

}  // namespace

void removeTemporaryFilesOnSignals() {
  SetEnvironmentVariableW(kCleanupVariable, L"1");
  installCleanupHandler();
}

Env* Env::defaultEnv() {
  static Win32Env env;
  return &env;
}

int ansiCodePage() {
  return static_cast<int>(GetACP());
}

bool codePageAvailable(int codePage) {
  return codePage > 0 && IsValidCodePage(static_cast<UINT>(codePage));
}

int unavailableCodePageRequested() {
  return 0;
}

std::string toCodePage(int codePage, std::u16string_view text) {
  if (text.empty()) return std::string();
  const auto* source = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = WideCharToMultiByte(cp, 0, source, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(cp, 0, source, length, out.data(), size, nullptr, nullptr);
  return out;
}

bool toCodePageExact(int codePage, std::u16string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const auto* source = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  // Under UTF-8 every character has its own form; only broken UTF-16 fails.
  // Elsewhere no best-fit look-alike, and no default character.
  const bool utf8 = cp == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* defaultFlag = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(cp, flags, source, length, nullptr, 0, nullptr, defaultFlag);
  if (size <= 0 || usedDefault) return false;
  out->assign(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(cp, flags, source, length, out->data(), size, nullptr, defaultFlag);
  return !usedDefault && fromCodePage(codePage, *out) == text;
}

std::u16string fromCodePage(int codePage, std::string_view text) {
  if (text.empty()) return std::u16string();
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = MultiByteToWideChar(cp, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(cp, 0, text.data(), length, reinterpret_cast<LPWSTR>(out.data()), size);
  return out;
}

bool fromCodePageExact(int codePage, std::string_view text, std::u16string* out) {
  out->clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (size <= 0) return false;
  out->assign(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length,
                      reinterpret_cast<LPWSTR>(out->data()), size);
  return true;
}

std::u16string toLowerWide(std::u16string_view text) {
  return mapCase(text, false);
}
std::u16string toUpperWide(std::u16string_view text) {
  return mapCase(text, true);
}

Status windowsError(const char* operation, std::u16string_view path, unsigned long error) {
  return Status::error(kindOf(error), static_cast<int>(error), operation, path);
}

std::string systemErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = length > 0 && text
                        ? toUtf8(std::u16string(reinterpret_cast<const char16_t*>(text), length))
                        : "unknown error";
  LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

}  // namespace platform
