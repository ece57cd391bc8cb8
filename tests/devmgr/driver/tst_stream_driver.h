// The test stream driver (prefix TST, and TSB for a second prefix): one line a call in a
// transcript, and the switches a test sets. Tests reach its one state object through TST_State.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "ce/types.h"

namespace tst {

// IOControl codes the test driver serves.
inline constexpr DWORD kEchoCode = 1;   // copies the input to the output, sets the actual length
inline constexpr DWORD kFailCode = 2;   // returns FALSE
inline constexpr DWORD kBlockCode = 3;  // returns only once released

struct DriverState {
    std::mutex mutex;
    std::condition_variable changed;
    std::string trace;  // "Init TST1: client=0x2 bus=0 -> 0x101\n", "Open 0x101 ...", ...
    DWORD lastContext = 0x100;
    // Switches, read at each call: Init refuses with this last error; Open refuses when nonzero.
    std::optional<DWORD> initRefusal;
    DWORD openError = ERROR_SUCCESS;
    bool blocked = false;
    bool released = false;

    void Reset() {
        std::lock_guard lock(mutex);
        trace.clear();
        lastContext = 0x100;
        initRefusal.reset();
        openError = ERROR_SUCCESS;
        blocked = released = false;
    }
    std::string Trace() {
        std::lock_guard lock(mutex);
        return trace;
    }
    void Release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

}  // namespace tst

extern "C" tst::DriverState* TST_State();
