// Waiting on events and threads.
#include "waitable.h"

#include "ce/host/clock.h"
#include "ce/kernel.h"

namespace ce::kernel {

DWORD WaitableObject::Wait(DWORD dwMilliseconds) {
    host::EndEventBurst();
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return signalled_ || closed_; };
    if (dwMilliseconds == INFINITE) {
        changed_.wait(lock, ready);
    } else {
        // The scale in force when the wait starts decides its real length.
        const auto deadline =
            std::chrono::steady_clock::now() + host::ToRealDuration(dwMilliseconds);
        if (!changed_.wait_until(lock, deadline, ready)) {
            return WAIT_TIMEOUT;
        }
    }
    if (!signalled_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (!manualReset_) {
        signalled_ = false;
    }
    return WAIT_OBJECT_0;
}

BOOL WaitableObject::OnClose() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    return TRUE;
}

void WaitableObject::Signal() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    if (manualReset_) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void WaitableObject::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

}  // namespace ce::kernel

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const auto object = ce::host::LookupHandleAs<ce::kernel::WaitableObject>(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(dwMilliseconds);
}
