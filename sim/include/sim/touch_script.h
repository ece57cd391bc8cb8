// Touches as a person makes them, in screen pixels, cut into report periods: one TouchSample
// per period, as a controller samples its panel.
//
//   TouchScript s(100.0);                  // 100 reports per second
//   s.Down(200, 150).MoveTo(400, 150, 200).Hold(100).Up();
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace ots::sim {

inline constexpr std::size_t kMaxFingers = 2;
inline constexpr double kDefaultReportRateHz = 100.0;
inline constexpr double kDefaultTapHoldMs = 50.0;

struct Contact {
    double xPx = 0.0;
    double yPx = 0.0;
    bool touching = false;
};

// What lies on the panel during one report period.
struct TouchSample {
    std::array<Contact, kMaxFingers> contacts{};
};

class TouchScript {
  public:
    explicit TouchScript(double reportRateHz = kDefaultReportRateHz);

    double PeriodMs() const { return periodMs_; }
    // Report periods a duration spans: at least one.
    std::size_t Steps(double durationMs) const;

    // Each adds samples: Down and Up one, MoveTo one per period of its duration (the finger
    // travels in a straight line and arrives with the last one), Hold one per period.
    // A finger index beyond kMaxFingers throws std::out_of_range.
    TouchScript& Down(double xPx, double yPx, std::size_t finger = 0);
    TouchScript& MoveTo(double xPx, double yPx, double durationMs = 0.0, std::size_t finger = 0);
    TouchScript& Hold(double durationMs);  // everything stays as it is (also: nothing touching)
    TouchScript& Up(std::size_t finger = 0);
    // Down, Hold(holdMs), Up.
    TouchScript& Tap(double xPx, double yPx, double holdMs = kDefaultTapHoldMs);
    // Down at the start, MoveTo the end over the duration, Up.
    TouchScript& Drag(double fromXPx, double fromYPx, double toXPx, double toYPx,
                      double durationMs);

    const std::vector<TouchSample>& Samples() const { return samples_; }
    // Hands over the samples built so far; where the fingers are stays known.
    std::vector<TouchSample> TakeSamples();
    const TouchSample& Current() const { return current_; }

  private:
    void Emit() { samples_.push_back(current_); }

    double periodMs_;
    TouchSample current_;
    std::vector<TouchSample> samples_;
};

}  // namespace ots::sim
