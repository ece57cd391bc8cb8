// Holds the device's csTouch for one scope: a whole report on the reader thread, or the
// application of re-initialised records on a control call's thread.
#pragma once

#include "ce/kernel.h"
#include "core/device_context.h"

class TouchLock {
  public:
    explicit TouchLock(DEVICE_CONTEXT& device) : cs_(&device.csTouch) { EnterCriticalSection(cs_); }
    ~TouchLock() { LeaveCriticalSection(cs_); }
    TouchLock(const TouchLock&) = delete;
    TouchLock& operator=(const TouchLock&) = delete;

  private:
    LPCRITICAL_SECTION cs_;
};
