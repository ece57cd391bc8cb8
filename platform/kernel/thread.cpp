// Threads. Each runs on a detached std::thread that holds its own reference to the thread
// object, so closing the handle neither stops the thread nor frees what it reports into, and
// a thread still running at process exit ends with the process instead of aborting it.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "ce/kernel.h"
#include "waitable.h"

namespace ce::kernel {
namespace {

const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

bool IsValidPriority(int priority) {
    return priority >= THREAD_PRIORITY_TIME_CRITICAL && priority <= THREAD_PRIORITY_IDLE;
}

// Best effort: a nice value per priority level. Raising a thread above normal needs
// privileges the host may not have; the priority is then remembered but not applied.
void ApplyPriorityHint(pid_t tid, int priority) {
    static constexpr int kNiceByPriority[] = {-10, -5, -2, 0, 2, 5, 10, 19};
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNiceByPriority[priority]);
}

DWORD NextThreadId() {
    static std::atomic<DWORD> next{1};
    return next.fetch_add(1);
}

class ThreadObject;

struct CurrentThread {
    DWORD id = 0;
    int priority = THREAD_PRIORITY_NORMAL;  // for threads not made by CreateThread
    ThreadObject* object = nullptr;
};
thread_local CurrentThread tCurrent;

class ThreadObject final : public WaitableObject {
  public:
    explicit ThreadObject(DWORD id) : WaitableObject(true, false), id_(id) {}

    DWORD Id() const { return id_; }

    // Runs on the new thread; the handle becomes signalled when the routine has returned.
    void Run(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
        tCurrent.id = id_;
        tCurrent.object = this;
        {
            std::lock_guard lock(mutex_);
            tid_ = gettid();
            if (priority_ != THREAD_PRIORITY_NORMAL) {
                ApplyPriorityHint(tid_, priority_);
            }
        }
        const DWORD exitCode = routine(parameter);
        {
            std::lock_guard lock(mutex_);
            exitCode_ = exitCode;
            tid_ = 0;
        }
        tCurrent.object = nullptr;
        Signal();
    }

    DWORD ExitCode() const {
        std::lock_guard lock(mutex_);
        return exitCode_;
    }

    int Priority() const {
        std::lock_guard lock(mutex_);
        return priority_;
    }

    void SetPriority(int priority) {
        std::lock_guard lock(mutex_);
        priority_ = priority;
        // Only while the thread runs is its id its own.
        if (tid_ != 0) {
            ApplyPriorityHint(tid_, priority);
        }
    }

  private:
    mutable std::mutex mutex_;
    const DWORD id_;
    DWORD exitCode_ = STILL_ACTIVE;
    int priority_ = THREAD_PRIORITY_NORMAL;
    pid_t tid_ = 0;  // nonzero while the routine runs
};

std::shared_ptr<ThreadObject> LookupThread(HANDLE hThread) {
    auto thread = host::LookupHandleAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return thread;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter, LPDWORD lpThreadId) {
    const auto object = std::make_shared<ThreadObject>(NextThreadId());
    const HANDLE handle = host::InsertHandle(object);
    if (lpThreadId != nullptr) {
        *lpThreadId = object->Id();
    }
    try {
        std::thread([object, routine, parameter] { object->Run(routine, parameter); }).detach();
    } catch (const std::system_error&) {
        CloseHandle(handle);
        throw std::bad_alloc();
    }
    return handle;
}

}  // namespace
}  // namespace ce::kernel

using ce::kernel::kCurrentThreadPseudoHandle;
using ce::kernel::tCurrent;

extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, DWORD /*dwStackSize*/,
                               LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                               DWORD dwCreationFlags, LPDWORD lpThreadId) {
    // A suspended thread could never be resumed here: there is no ResumeThread.
    if (lpStartAddress == nullptr || (dwCreationFlags & CREATE_SUSPENDED) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return ce::kernel::StartThread(lpStartAddress, lpParameter, lpThreadId);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" HANDLE GetCurrentThread() {
    return kCurrentThreadPseudoHandle;
}

extern "C" DWORD GetCurrentThreadId() {
    if (tCurrent.id == 0) {
        tCurrent.id = ce::kernel::NextThreadId();
    }
    return tCurrent.id;
}

extern "C" BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    if (!ce::kernel::IsValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hThread == kCurrentThreadPseudoHandle) {
        if (tCurrent.object != nullptr) {
            tCurrent.object->SetPriority(nPriority);
        } else {
            tCurrent.priority = nPriority;
            ce::kernel::ApplyPriorityHint(gettid(), nPriority);
        }
        return TRUE;
    }
    const auto thread = ce::kernel::LookupThread(hThread);
    if (!thread) {
        return FALSE;
    }
    thread->SetPriority(nPriority);
    return TRUE;
}

extern "C" int GetThreadPriority(HANDLE hThread) {
    if (hThread == kCurrentThreadPseudoHandle) {
        return tCurrent.object != nullptr ? tCurrent.object->Priority() : tCurrent.priority;
    }
    const auto thread = ce::kernel::LookupThread(hThread);
    return thread ? thread->Priority() : THREAD_PRIORITY_ERROR_RETURN;
}

extern "C" BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    if (lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hThread == kCurrentThreadPseudoHandle) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    const auto thread = ce::kernel::LookupThread(hThread);
    if (!thread) {
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}
