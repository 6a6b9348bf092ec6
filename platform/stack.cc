// The stack of the running thread, and threads with large stacks.
#include "platform/stack.h"

#include <cstdint>
#include <exception>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace platform {
namespace {

struct Job {
  const std::function<void()>* work;
  std::exception_ptr thrown;
};

void runJob(Job* job) {
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
  Job job{&work, nullptr};
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
#endif
  if (!ran) runJob(&job);
  if (job.thrown) std::rethrow_exception(job.thrown);
}

}  // namespace platform
