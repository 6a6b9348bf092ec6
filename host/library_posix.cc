#include <dlfcn.h>

#include "host/library.h"

namespace zc {

void* openLibrary(const std::string& path, std::string* error) {
  // A bare name would make dlopen search the library path; a module is
  // always named by its file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) *error = ::dlerror();
  return library;
}

void* librarySymbol(void* library, const char* name) {
  return ::dlsym(library, name);
}

void closeLibrary(void* library) {
  ::dlclose(library);
}

}  // namespace zc
