// What a coordinate controller's reports must produce, worked out from the reports themselves
// and the coordinate generation's mode table (an uncalibrated panel: raw values, times 16).
#pragma once

#include <cstdint>
#include <vector>

#include "ce/types.h"

namespace ots::test {

struct ExpectedEvent {
    DWORD flags;
    DWORD dx;
    DWORD dy;
    bool operator==(const ExpectedEvent&) const = default;
};

struct ModeOutcome {
    std::vector<ExpectedEvent> events;
    bool clickRecorded = false;  // LastClickPoint written
    std::int32_t clickX = 0;
    std::int32_t clickY = 0;
};

ModeOutcome ExpectedForMode(int mode, const std::vector<std::vector<std::uint8_t>>& reports);

}  // namespace ots::test
