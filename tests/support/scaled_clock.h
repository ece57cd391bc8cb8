// The platform clock for tests: faster than real time where a test waits on platform time, and
// real-time deadlines for what a test waits on itself.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "ce/host/clock.h"

namespace ots::test {

// Platform time runs 100 times faster while this lives (a 5 s platform pause takes 50 ms).
class FastClock : public ce::host::ScopedTimeScale {
  public:
    FastClock() : ce::host::ScopedTimeScale(0.01) {}
};

// Polls until the condition holds; false when it does not within the real-time bound, so that
// a broken wake-up fails a test instead of hanging it.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds realTimeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace ots::test
