// A kernel object that WaitForSingleObject can wait on: events, and threads (signalled once
// they have ended).
#pragma once

#include <condition_variable>
#include <mutex>

#include "ce/host/kernel_object.h"

namespace ce::kernel {

class WaitableObject : public host::KernelObject {
  public:
    WaitableObject(bool manualReset, bool initiallySignalled)
        : manualReset_(manualReset), signalled_(initiallySignalled) {}

    // WAIT_OBJECT_0 once signalled (an auto-reset object is reset by the wait that takes it),
    // WAIT_TIMEOUT after dwMilliseconds of platform time, WAIT_FAILED once the object's last
    // handle has been closed.
    DWORD Wait(DWORD dwMilliseconds);

    // Wakes every waiter with WAIT_FAILED: nothing can signal the object any more.
    BOOL OnClose() override;

  protected:
    // A manual-reset object wakes every waiter; an auto-reset one exactly one.
    void Signal();
    void Reset();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool signalled_;
    bool closed_ = false;
};

}  // namespace ce::kernel
