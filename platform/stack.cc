// The stack of the running thread, and threads with large stacks.
#include "platform/stack.h"

#include <cstdint>
#include <exception>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

namespace platform {
namespace {

struct Job {
  const std::function<void()>* work;
  std::exception_ptr thrown;
#if !defined(_WIN32)
  sigset_t mask;  // the caller's signal mask, for the new thread
#endif
};

void runJob(Job* job) {
#if !defined(_WIN32)
  pthread_sigmask(SIG_SETMASK, &job->mask, nullptr);
#endif
  try {
    (*job->work)();
  } catch (...) {
    job->thrown = std::current_exception();
  }
}

// The lowest address of this thread's stack, found once per thread.
uintptr_t stackLow() {
  static thread_local uintptr_t low = 0;
  static thread_local bool known = false;
  if (!known) {
    known = true;
#if defined(_WIN32)
    MEMORY_BASIC_INFORMATION info{};
    const int marker = 0;
    if (VirtualQuery(&marker, &info, sizeof info) != 0) {
      // The reserved region the stack grows down into; a guard page and
      // some room for the system's own handling stay unused.
      low = reinterpret_cast<uintptr_t>(info.AllocationBase) + 64 * 1024;
    }
#else
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* address = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &address, &size) == 0) {
        size_t guard = 0;
        pthread_attr_getguardsize(&attr, &guard);
        low = reinterpret_cast<uintptr_t>(address) + guard;
      }
      pthread_attr_destroy(&attr);
    }
#endif
  }
  return low;
}

#if defined(_WIN32)
DWORD WINAPI threadMain(LPVOID argument) {
  runJob(static_cast<Job*>(argument));
  return 0;
}
#else
void* threadMain(void* argument) {
  runJob(static_cast<Job*>(argument));
  return nullptr;
}
#endif

}  // namespace

size_t stackLeft() {
  const uintptr_t low = stackLow();
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (low == 0) return SIZE_MAX;
  return here > low ? here - low : 0;
}

void runWithStack(size_t bytes, const std::function<void()>& work) {
  Job job{};
  job.work = &work;
  bool ran = false;
#if defined(_WIN32)
  HANDLE thread =
      CreateThread(nullptr, bytes, threadMain, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ran = true;
  }
#else
  // Signals go to the working thread alone: the caller holds them back
  // while it waits, so that a thread blocking them around a critical step
  // (a temporary file made and noted) keeps them out of that step.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &job.mask);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) == 0) {
    pthread_t thread;
    if (pthread_attr_setstacksize(&attr, bytes) == 0 &&
        pthread_create(&thread, &attr, threadMain, &job) == 0) {
      pthread_join(thread, nullptr);
      ran = true;
    }
    pthread_attr_destroy(&attr);
  }
  pthread_sigmask(SIG_SETMASK, &job.mask, nullptr);
#endif
  if (!ran) runJob(&job);
  if (job.thrown) std::rethrow_exception(job.thrown);
}

}  // namespace platform
