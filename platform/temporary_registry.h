// The temporary files a process has made and not yet renamed or removed,
// kept where a signal handler (or Windows' console control handler, which
// runs on a thread of its own) can read them without locks or allocation:
// fixed slots of strings.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace platform {

template <typename Char>
class TemporaryRegistry {
 public:
  void note(const std::basic_string<Char>& path) {
    Char* copy = new Char[path.size() + 1];
    path.copy(copy, path.size());
    copy[path.size()] = 0;
    for (std::atomic<Char*>& slot : slots_) {
      Char* empty = nullptr;
      if (slot.compare_exchange_strong(empty, copy)) return;
    }
    delete[] copy;  // more than the slots: left to the next edit's sweep
  }

  void forget(const std::basic_string<Char>& path) {
    for (std::atomic<Char*>& slot : slots_) {
      Char* held = slot.load();
      if (held && path == held && slot.compare_exchange_strong(held, nullptr)) {
        delete[] held;
        return;
      }
    }
  }

  // Calls remove(path) for each file noted and not forgotten.
  template <typename Remove>
  void removeAll(Remove remove) {
    for (std::atomic<Char*>& slot : slots_) {
      if (Char* path = slot.load()) remove(path);
    }
  }

 private:
  std::atomic<Char*> slots_[64] = {};
};

}  // namespace platform
