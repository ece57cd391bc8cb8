// The platform clock behind Sleep, timed waits and GetTickCount.
//
// A time scale s makes every platform millisecond last s real milliseconds, so the driver's
// 5000/1000/40/20 ms pauses keep their ratios while a test runs them 100 times faster.
#pragma once

#include <chrono>
#include <cstdint>

namespace ce::host {

// Real milliseconds per platform millisecond; 1.0 at start. Values <= 0 are refused.
void SetTimeScale(double realMsPerPlatformMs);
double GetTimeScale();

// Platform milliseconds since the process started, at the current scale.
double PlatformNowMs();

// Real duration of a platform interval.
std::chrono::nanoseconds ToRealDuration(double platformMs);

// Sets the scale for the life of one scope and restores the previous one.
class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double realMsPerPlatformMs);
    ~ScopedTimeScale();
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    double previous_;
};

}  // namespace ce::host
