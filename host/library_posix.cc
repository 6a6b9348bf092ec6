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

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <mutex>

extern char** environ;

namespace zc {

std::optional<int64_t> startProgram(const std::vector<std::u16string>& arguments) {
  if (arguments.empty() || arguments[0].empty()) return std::nullopt;
  // Programs started before and ended since are reaped here, so that a long
  // run leaves no zombies behind.
  static std::mutex mutex;
  static std::vector<pid_t> started;
  const std::lock_guard<std::mutex> lock(mutex);
  std::erase_if(started, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });

  std::vector<std::string> texts;
  for (const std::u16string& argument : arguments) texts.push_back(platform::toUtf8(argument));
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return std::nullopt;
  }
  // Our standard input may hold the script being run: the program gets none.
  // Signals we ignore or block (SIGPIPE) are the program's defaults again.
  sigset_t defaults, none;
  sigfillset(&defaults);
  sigemptyset(&none);
  bool ready =
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
      posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  pid_t pid = 0;
  std::fflush(nullptr);
  ready = ready && ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (!ready) return std::nullopt;
  started.push_back(pid);
  return pid;
}

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace zc
