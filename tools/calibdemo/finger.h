// The demo's finger: touches on the simulated panel that the device host runs, through the
// host's control socket (what cectl sends), and the events the driver injected meanwhile.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cectl/control_request.h"

namespace calibdemo {

struct InjectedEvent {
    double tMs = 0.0;  // platform clock of the host
    unsigned flags = 0;
    double xPx = 0.0;
    double yPx = 0.0;
};

// A stroke's clock as the host gives it: frame n showed the finger at downMs + n periods.
struct StrokeClock {
    double downMs = 0.0;
    double framePeriodMs = 0.0;
};

class Finger {
  public:
    explicit Finger(std::string socketPath) : socket_(std::move(socketPath)) {}

    // Each returns false with error() set when the host refused or did not answer.
    bool Plug(ots::control::ControllerKind kind, const std::string& panel);
    bool Unplug();
    // Chooses 4 or 25 targets for the controllers plugged from now on (the driver's
    // CalibrateType, as the settings dialog stores it).
    bool SetCalibrationPoints(int points);
    bool Tap(double xPx, double yPx, unsigned holdMs);
    // A stroke through the points in moveMs, and its clock.
    bool Draw(const std::vector<ots::control::Point>& points, unsigned moveMs, StrokeClock* clock);
    // The last `count` injected events, oldest first.
    std::vector<InjectedEvent> LastEvents(unsigned count);
    const std::string& error() const { return error_; }

  private:
    std::optional<std::string> Call(const ots::control::Command& command);

    std::string socket_;
    std::string error_;
    std::uint32_t id_ = 1;
};

}  // namespace calibdemo
