// Loading shared libraries by file path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host_api.h"

namespace zc {

// Opens a shared library; null with `*error` set on failure.
void* openLibrary(const std::string& path, std::string* error);
void* librarySymbol(void* library, const char* name);
void closeLibrary(void* library);

}  // namespace zc

namespace zc {

// The folder of the running executable.
ZC_HOST_API std::string executableDirectory();
// The folder the modules are in: beside the executable, or, installed, in
// lib/zc beside its bin folder.
ZC_HOST_API std::string moduleDirectory();
// The file name of a module called `name` in `directory`.
ZC_HOST_API std::string moduleFileName(const std::string& directory, const std::string& name);
// Sets an environment variable for this process and what it loads.
ZC_HOST_API void setEnvironment(const char* name, const std::string& value);
// An environment variable's value as text, nil when unset (UTF-8 on POSIX,
// the wide environment on Windows), and setting one so.
ZC_HOST_API std::optional<std::u16string> environmentText(std::u16string_view name);
ZC_HOST_API void setEnvironmentText(std::u16string_view name, std::u16string_view value);
// True when standard input is a terminal.
ZC_HOST_API bool standardInputIsTerminal();
// Opens a file named in UTF-8.
ZC_HOST_API std::FILE* openFileUtf8(const std::string& path, const char* mode);
// Starts a program, found on the PATH, with these arguments (its name
// first), without a shell and without waiting for it; its standard input
// is empty, its output goes where ours goes. Its process id, or nothing when
// it could not be started.
ZC_HOST_API std::optional<int64_t> startProgram(const std::vector<std::u16string>& arguments);

}  // namespace zc
