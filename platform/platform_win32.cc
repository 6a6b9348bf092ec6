// Win32 implementation of the platform services: the system's own code-page
// conversion, case mapping, directory search, copy, deletion, temporary
// files, atomic replace and file locks. Paths are passed to the *W services
// unchanged (char16_t and wchar_t are both UTF-16 here).
#include <windows.h>

#include <io.h>
#include <share.h>
#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

namespace platform {
namespace {

std::wstring wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::u16string fromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

class Win32File : public File {
 public:
  explicit Win32File(FILE* stream) : stream_(stream) {}
  ~Win32File() override {
    if (stream_) fclose(stream_);
  }

  bool read(uint64_t offset, void* data, size_t n, size_t* got) override {
    if (_fseeki64(stream_, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
    *got = fread(data, 1, n, stream_);
    return *got == n || !ferror(stream_);
  }

  bool write(uint64_t offset, const void* data, size_t n) override {
    if (_fseeki64(stream_, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
    if (fwrite(data, 1, n, stream_) != n) return false;
    return fflush(stream_) == 0;
  }

  std::optional<uint64_t> size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle(), &size)) return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
  }

  bool sync() override { return fflush(stream_) == 0 && FlushFileBuffers(handle()); }

  bool lockExclusive(int timeoutMs) override {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
      OVERLAPPED whole = {};
      if (LockFileEx(handle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                     MAXDWORD, &whole)) {
        return true;
      }
      if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) return false;
      Sleep(2);
    }
  }

  bool close() override {
    FILE* stream = stream_;
    stream_ = nullptr;
    return fclose(stream) == 0;
  }

 private:
  HANDLE handle() { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_))); }
  FILE* stream_;
};

// Opens without sharing restrictions, as the host's other programs expect.
std::unique_ptr<File> openStream(const std::wstring& path, const wchar_t* mode) {
  FILE* stream = _wfsopen(path.c_str(), mode, _SH_DENYNO);
  if (!stream) return nullptr;
  return std::make_unique<Win32File>(stream);
}

class Win32Env : public Env {
 public:
  bool findFiles(std::u16string_view pattern, bool /*wantSizes*/,
                 std::vector<DirEntry>* entries) override {
    entries->clear();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      DirEntry entry;
      entry.name = fromWide(data.cFileName);
      entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entry.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
      entries->push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    // NTFS yields names in ordinal, case-insensitive order; other file
    // systems (and Wine's) do not, so the order is made the same everywhere.
    std::stable_sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) {
      return CompareStringOrdinal(reinterpret_cast<LPCWCH>(a.name.c_str()), -1,
                                  reinterpret_cast<LPCWCH>(b.name.c_str()), -1,
                                  TRUE) == CSTR_LESS_THAN;
    });
    return true;
  }

  bool copyFile(std::u16string_view from, std::u16string_view to) override {
    return CopyFileW(wide(from).c_str(), wide(to).c_str(), FALSE) != 0;
  }

  bool removeFile(std::u16string_view path) override {
    return DeleteFileW(wide(path).c_str()) != 0;
  }

  bool fileExists(std::u16string_view path) override {
    return !path.empty() && GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::optional<uint64_t> fileSize(std::u16string_view path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  }

  std::unique_ptr<File> openFile(std::u16string_view path, OpenMode mode) override {
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return nullptr;
    }
    switch (mode) {
      case OpenMode::kRead:
        return openStream(name, L"rb");
      case OpenMode::kReadWrite:
        return openStream(name, L"r+b");
      case OpenMode::kCreateTruncate:
        return openStream(name, L"wb");
    }
    return nullptr;
  }

  std::unique_ptr<File> createTempFile(std::u16string_view directory,
                                       std::u16string* path) override {
    std::wstring folder = directory.empty() ? std::wstring(L".") : wide(directory);
    wchar_t created[MAX_PATH + 1];
    // Creates the file under a name unique in the folder, so no other writer
    // can take it.
    if (GetTempFileNameW(folder.c_str(), L"slb", 0, created) == 0) return nullptr;
    std::unique_ptr<File> file = openStream(created, L"wb");
    if (!file) {
      DeleteFileW(created);
      return nullptr;
    }
    std::wstring full(created);
    const size_t separator = full.find_last_of(L"\\/");
    *path = std::u16string(directory) + fromWide(full.c_str() + separator + 1);
    return file;
  }

  bool replaceFile(std::u16string_view from, std::u16string_view to) override {
    const std::wstring target = wide(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (!MoveFileExW(wide(from).c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return false;
    }
    // The library keeps the attributes it had (hidden, archive).
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), attributes);
    return true;
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

Env* Env::defaultEnv() {
  static Win32Env env;
  return &env;
}

int ansiCodePage() {
  return static_cast<int>(GetACP());
}

std::string toAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  const auto* source = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, source, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::u16string fromAnsi(std::string_view text) {
  if (text.empty()) return std::u16string();
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<LPWSTR>(out.data()), size);
  return out;
}

bool isLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

std::u16string toLowerWide(std::u16string_view text) {
  return mapCase(text, false);
}
std::u16string toUpperWide(std::u16string_view text) {
  return mapCase(text, true);
}

}  // namespace platform
