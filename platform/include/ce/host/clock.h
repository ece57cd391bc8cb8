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

// Platform milliseconds since the process started, at the current scale. Takes no lock.
double PlatformNowMs();

// The platform time of an input event the calling thread makes now. The events a thread injects
// in one burst (a report's worth) share one clock read: a burst ends whenever the thread waits,
// sleeps, enters a critical section or reads PlatformNowMs, so a stamp never predates what the
// thread saw of the clock, and a reader thread reads the clock once per report.
double PlatformEventMs();

// Ends the calling thread's burst of input events (the kernel's waits and locks call it).
void EndEventBurst();

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
