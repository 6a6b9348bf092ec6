// Loading shared libraries by file path.
#pragma once

#include <string>

namespace zc {

// Opens a shared library; null with `*error` set on failure.
void* openLibrary(const std::string& path, std::string* error);
void* librarySymbol(void* library, const char* name);
void closeLibrary(void* library);

}  // namespace zc
