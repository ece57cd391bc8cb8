// The platform clock: platform time runs at 1/scale of real time, and stays continuous when
// the scale changes, so a wait that straddles a change never sees time run backwards.
#include "ce/host/clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "ce/kernel.h"

namespace ce::host {
namespace {

using RealClock = std::chrono::steady_clock;

// Platform time anchored at a real time, at a scale.
struct Anchor {
    double scale;
    RealClock::rep real;
    double platformMs;

    double At(RealClock::time_point now) const {
        const std::chrono::duration<double, std::milli> elapsed =
            now - RealClock::time_point(RealClock::duration(real));
        return platformMs + elapsed.count() / scale;
    }
};

// The anchor changes only with the scale; reads take no lock. A reader retries while a change
// is under way (odd sequence) or happened between its first and last look.
struct ClockState {
    std::mutex writer;
    std::atomic<std::uint64_t> sequence{0};
    std::atomic<double> scale{1.0};
    std::atomic<RealClock::rep> anchorReal{RealClock::now().time_since_epoch().count()};
    std::atomic<double> anchorPlatformMs{0.0};

    Anchor Load() const {
        for (;;) {
            const std::uint64_t before = sequence.load();
            const Anchor anchor{scale.load(), anchorReal.load(), anchorPlatformMs.load()};
            if ((before & 1) == 0 && sequence.load() == before) {
                return anchor;
            }
        }
    }

    // The clock is read after the anchor, so never before the anchor's own real time.
    double Now() const {
        const Anchor anchor = Load();
        return anchor.At(RealClock::now());
    }
};

// Never destroyed: threads that outlive main may still sleep or read the clock.
ClockState& State() {
    static auto* state = new ClockState;
    return *state;
}

// Anchor the clock at load time, so platform time counts from process start.
[[maybe_unused]] const bool gClockStarted = (State(), true);

struct EventBurst {
    bool open = false;
    double platformMs = 0.0;
};

// libce is loaded with the program, never by dlopen, so its thread-locals take the fast model.
__attribute__((tls_model("initial-exec"))) thread_local EventBurst tBurst;

}  // namespace

void SetTimeScale(double realMsPerPlatformMs) {
    if (!(realMsPerPlatformMs > 0.0) || !std::isfinite(realMsPerPlatformMs)) {
        return;
    }
    ClockState& state = State();
    std::lock_guard lock(state.writer);
    const auto now = RealClock::now();
    const double platformNow = state.Load().At(now);
    state.sequence.fetch_add(1);
    state.anchorPlatformMs.store(platformNow);
    state.anchorReal.store(now.time_since_epoch().count());
    state.scale.store(realMsPerPlatformMs);
    state.sequence.fetch_add(1);
}

double GetTimeScale() {
    return State().scale.load();
}

double PlatformNowMs() {
    tBurst.open = false;
    return State().Now();
}

double PlatformEventMs() {
    EventBurst& burst = tBurst;
    if (!burst.open) {
        burst.platformMs = State().Now();
        burst.open = true;
    }
    return burst.platformMs;
}

void EndEventBurst() {
    tBurst.open = false;
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
    ce::host::EndEventBurst();
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
