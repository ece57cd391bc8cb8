#include "sim/touch_script.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ots::sim {

TouchScript::TouchScript(double reportRateHz) : periodMs_(1000.0 / reportRateHz) {}

std::size_t TouchScript::Steps(double durationMs) const {
    const double periods = std::round(durationMs / periodMs_);
    return periods < 1.0 ? 1 : static_cast<std::size_t>(periods);
}

TouchScript& TouchScript::Down(double xPx, double yPx, std::size_t finger) {
    current_.contacts.at(finger) = Contact{xPx, yPx, true};
    Emit();
    return *this;
}

TouchScript& TouchScript::MoveTo(double xPx, double yPx, double durationMs, std::size_t finger) {
    Contact& contact = current_.contacts.at(finger);
    const Contact from = contact;
    const std::size_t steps = Steps(durationMs);
    for (std::size_t k = 1; k <= steps; ++k) {
        const double t = static_cast<double>(k) / static_cast<double>(steps);
        contact.xPx = from.xPx + (xPx - from.xPx) * t;
        contact.yPx = from.yPx + (yPx - from.yPx) * t;
        Emit();
    }
    return *this;
}

TouchScript& TouchScript::Hold(double durationMs) {
    for (std::size_t k = Steps(durationMs); k > 0; --k) {
        Emit();
    }
    return *this;
}

TouchScript& TouchScript::Up(std::size_t finger) {
    current_.contacts.at(finger).touching = false;
    Emit();
    return *this;
}

TouchScript& TouchScript::Tap(double xPx, double yPx, double holdMs) {
    return Down(xPx, yPx).Hold(holdMs).Up();
}

TouchScript& TouchScript::Drag(double fromXPx, double fromYPx, double toXPx, double toYPx,
                               double durationMs) {
    return Down(fromXPx, fromYPx).MoveTo(toXPx, toYPx, durationMs).Up();
}

std::vector<TouchSample> TouchScript::TakeSamples() {
    return std::exchange(samples_, {});
}

}  // namespace ots::sim
