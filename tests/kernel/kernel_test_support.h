// Helpers shared by the kernel tests.
#pragma once

#include <functional>

#include "ce/kernel.h"

namespace kernel_test {

// Closes a kernel handle at the end of a scope.
class ScopedHandle {
  public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE get() const { return handle_; }
    // Hands the handle back, for tests that close it themselves.
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

  private:
    HANDLE handle_;
};

// Runs a callable on a CreateThread thread; the routine returns what the callable returns.
inline DWORD RunCallable(LPVOID parameter) {
    return (*static_cast<std::function<DWORD()>*>(parameter))();
}

// Plenty for any wait that should end at once, short enough that a broken wake-up fails the
// test instead of hanging it (platform ms at scale 1).
inline constexpr DWORD kGenerousWaitMs = 10000;

}  // namespace kernel_test
