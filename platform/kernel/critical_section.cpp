// Critical sections: re-entrant locks that know their owner, so that a Leave by a thread
// that does not hold the section cannot release it for the real owner.
#include <atomic>
#include <mutex>
#include <thread>

#include "ce/host/clock.h"
#include "ce/kernel.h"

namespace {

struct SectionLock {
    std::recursive_mutex mutex;
    std::atomic<std::thread::id> owner{};
    unsigned depth = 0;  // written only by the owner
};

SectionLock* Lock(LPCRITICAL_SECTION section) {
    return section != nullptr ? static_cast<SectionLock*>(section->impl) : nullptr;
}

}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection != nullptr) {
        lpCriticalSection->impl = new SectionLock;
    }
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (lpCriticalSection != nullptr) {
        delete Lock(lpCriticalSection);
        lpCriticalSection->impl = nullptr;
    }
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    SectionLock* lock = Lock(lpCriticalSection);
    if (lock == nullptr) {
        return;
    }
    ce::host::EndEventBurst();  // a section waited for may have held the thread any time
    lock->mutex.lock();
    lock->owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++lock->depth;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    SectionLock* lock = Lock(lpCriticalSection);
    if (lock == nullptr ||
        lock->owner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
        return;
    }
    if (--lock->depth == 0) {
        lock->owner.store(std::thread::id{}, std::memory_order_relaxed);
    }
    lock->mutex.unlock();
}
