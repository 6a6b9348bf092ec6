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

#include <unistd.h>

#include <cstdlib>

#include "platform/text.h"

namespace zc {

std::string executableDirectory() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

std::string moduleFileName(const std::string& directory, const std::string& name) {
  return directory + "/" + name + ".so";
}

std::string moduleDirectory() {
  const std::string here = executableDirectory();
  const std::string installed = here + "/../lib/zc";
  if (::access(moduleFileName(here, "vetrix").c_str(), F_OK) != 0 &&
      ::access(moduleFileName(installed, "vetrix").c_str(), F_OK) == 0) {
    return installed;
  }
  return here;
}

void setEnvironment(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

std::optional<std::u16string> environmentText(std::u16string_view name) {
  const char* value = std::getenv(platform::toUtf8(name).c_str());
  if (!value) return std::nullopt;
  return platform::fromUtf8(value);
}

void setEnvironmentText(std::u16string_view name, std::u16string_view value) {
  ::setenv(platform::toUtf8(name).c_str(), platform::toUtf8(value).c_str(), 1);
}

bool standardInputIsTerminal() {
  return ::isatty(0) == 1;
}

}  // namespace zc

namespace zc {

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace zc
