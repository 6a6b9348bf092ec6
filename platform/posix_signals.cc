// The temporary files of a POSIX process, removed when a signal stops it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/env.h"
#include "posix_internal.h"
#include "temporary_registry.h"

namespace platform {
namespace {

// The temporary files this process has made and not yet renamed or
// removed, for the signal handler to remove.
TemporaryRegistry<char> temporaries;

// Every copy of this layer (the program's, and each module's) keeps its own
// slots; a program that asked for the cleanup (see
// removeTemporaryFilesOnSignals) says so in the environment, and each copy
// then puts its handler in front of the ones before it.
constexpr char kCleanupVariable[] = "ZC_REMOVE_TEMPORARIES_ON_SIGNALS";
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3];
std::atomic<bool> handlersInstalled{false};

void removeTemporariesAndDie(int signal) {
  temporaries.removeAll([](const char* path) { ::unlink(path); });
  for (size_t i = 0; i < 3; ++i) {
    if (kCleanupSignals[i] != signal) continue;
    const struct sigaction& previous = previousActions[i];
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);  // the next copy's handler, which ends the process
      return;
    }
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void installCleanupHandlers() {
  if (handlersInstalled.exchange(true)) return;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = removeTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) ::sigaction(kCleanupSignals[i], &action, &previousActions[i]);
}

// A module's copy is unloaded before the program ends: its handlers, if
// still the ones in place, give way to those they put aside, so that no
// signal ever jumps into unloaded code.
struct CleanupHandlersRemover {
  ~CleanupHandlersRemover() {
    if (!handlersInstalled.load()) return;
    for (size_t i = 0; i < 3; ++i) {
      struct sigaction current;
      if (::sigaction(kCleanupSignals[i], nullptr, &current) == 0 &&
          !(current.sa_flags & SA_SIGINFO) && current.sa_handler == removeTemporariesAndDie) {
        ::sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
      }
    }
  }
} cleanupHandlersRemover;

}  // namespace

namespace posix {

// A temporary file is noted by the path it was made with ("./~a.slb...")
// and forgotten by the path it is later named by ("~a.slb..."): both
// without a leading "./", so that the two meet.
std::string registryPath(const std::string& native) {
  return native.starts_with("./") ? native.substr(2) : native;
}

int openTemporary(const std::string& native, int flags) {
  if (std::getenv(kCleanupVariable)) installCleanupHandlers();
  // The cleanup signals are held back while the file is made and noted, so
  // that none can come between the two and leave the file behind.
  sigset_t set, previous;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  ::pthread_sigmask(SIG_BLOCK, &set, &previous);
  int fd;
  do {
    fd = ::open(native.c_str(), flags | O_CREAT | O_EXCL, 0600);
  } while (fd < 0 && errno == EINTR);
  const int error = errno;
  if (fd >= 0) temporaries.note(registryPath(native));
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return fd;
}

void noteTemporary(const std::string& native) {
  temporaries.note(registryPath(native));
}

void forgetTemporary(const std::string& native) {
  temporaries.forget(registryPath(native));
}

}  // namespace posix

void removeTemporaryFilesOnSignals() {
  ::setenv(kCleanupVariable, "1", 1);
  installCleanupHandlers();
}

}  // namespace platform
