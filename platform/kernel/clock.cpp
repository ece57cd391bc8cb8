// The platform clock: platform time runs at 1/scale of real time, and stays continuous when
// the scale changes, so a wait that straddles a change never sees time run backwards.
#include "ce/host/clock.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "ce/kernel.h"

namespace ce::host {
namespace {

using RealClock = std::chrono::steady_clock;

struct ClockState {
    std::mutex mutex;
    double scale = 1.0;
    RealClock::time_point anchorReal = RealClock::now();
    double anchorPlatformMs = 0.0;

    double NowLocked(RealClock::time_point now) const {
        const std::chrono::duration<double, std::milli> elapsed = now - anchorReal;
        return anchorPlatformMs + elapsed.count() / scale;
    }
};

// Never destroyed: threads that outlive main may still sleep or read the clock.
ClockState& State() {
    static auto* state = new ClockState;
    return *state;
}

// Anchor the clock at load time, so platform time counts from process start.
[[maybe_unused]] const bool gClockStarted = (State(), true);

}  // namespace

void SetTimeScale(double realMsPerPlatformMs) {
    if (!(realMsPerPlatformMs > 0.0) || !std::isfinite(realMsPerPlatformMs)) {
        return;
    }
    ClockState& state = State();
    std::lock_guard lock(state.mutex);
    const auto now = RealClock::now();
    state.anchorPlatformMs = state.NowLocked(now);
    state.anchorReal = now;
    state.scale = realMsPerPlatformMs;
}

double GetTimeScale() {
    ClockState& state = State();
    std::lock_guard lock(state.mutex);
    return state.scale;
}

double PlatformNowMs() {
    ClockState& state = State();
    std::lock_guard lock(state.mutex);
    return state.NowLocked(RealClock::now());
}

std::chrono::nanoseconds ToRealDuration(double platformMs) {
    if (!(platformMs > 0.0)) {
        return std::chrono::nanoseconds::zero();
    }
    // Capped far beyond any wait the system makes (about 292 years), so the cast cannot overflow.
    constexpr double kMaxNs = 9.0e18;
    const double ns = std::min(platformMs * GetTimeScale() * 1.0e6, kMaxNs);
    return std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

ScopedTimeScale::ScopedTimeScale(double realMsPerPlatformMs) : previous_(GetTimeScale()) {
    SetTimeScale(realMsPerPlatformMs);
}

ScopedTimeScale::~ScopedTimeScale() {
    SetTimeScale(previous_);
}

}  // namespace ce::host

extern "C" void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::hours(24));
        }
    }
    std::this_thread::sleep_for(ce::host::ToRealDuration(dwMilliseconds));
}

// Wraps after 2^32 ms, as the tick count does.
extern "C" DWORD GetTickCount() {
    return static_cast<DWORD>(static_cast<std::uint64_t>(ce::host::PlatformNowMs()));
}
