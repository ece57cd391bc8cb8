#include "touch_report.h"

#include <cmath>
#include <cstdio>

#include "ce/input.h"
#include "host_text.h"

namespace ots::host {
namespace {

using ots::control::Point;

std::string Compared(const char* what, const LoggedEvent& event, Point finger) {
    char off[48];
    std::snprintf(off, sizeof(off), " (%.1f px from the finger)",
                  std::hypot(event.XPx() - finger.xPx, event.YPx() - finger.yPx));
    return std::string(what) + " at " + FormatPosition(event.XPx(), event.YPx()) + off;
}

}  // namespace

std::string DescribeTouch(const std::vector<Point>& finger,
                          const std::vector<LoggedEvent>& injected) {
    std::string text = "finger: down at " + FormatPosition(finger.front().xPx, finger.front().yPx) +
                       ", up at " + FormatPosition(finger.back().xPx, finger.back().yPx) + "\n";
    const LoggedEvent* down = nullptr;
    const LoggedEvent* up = nullptr;
    for (const LoggedEvent& event : injected) {
        if (down == nullptr && (event.event.flags & MOUSEEVENTF_LEFTDOWN) != 0) {
            down = &event;
        }
        if ((event.event.flags & MOUSEEVENTF_LEFTUP) != 0) {
            up = &event;
        }
    }
    text += "injected: " + std::to_string(injected.size()) + " events";
    if (down != nullptr) {
        text += "; " + Compared("left down", *down, finger.front());
    }
    if (up != nullptr) {
        text += "; " + Compared("left up", *up, finger.back());
    }
    if (down == nullptr && up == nullptr && !injected.empty()) {
        text += "; last at " + FormatPosition(injected.back().XPx(), injected.back().YPx());
    }
    return text + "\n";
}

}  // namespace ots::host
