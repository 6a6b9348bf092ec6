// The native stack: how much of it is left, and work run on a thread with a
// stack as large as it needs (deep recursion in the LISP).
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// The bytes of this thread's stack below the caller's frame; SIZE_MAX when
// the platform cannot tell.
size_t stackLeft();

// Runs `work` on a new thread whose stack reserves `bytes`, and waits for
// it; an exception it throws is thrown here. When no such thread can be
// made, `work` runs on this thread.
void runWithStack(size_t bytes, const std::function<void()>& work);

}  // namespace platform
