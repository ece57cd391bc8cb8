#include "mode_oracle.h"

#include "protocol/bytes.h"

namespace ots::test {

namespace {

constexpr DWORD kMove = 0x8001;
constexpr DWORD kDown = 0x8002;
constexpr DWORD kUp = 0x8004;
constexpr DWORD kMoveDown = 0x8003;
constexpr DWORD kFactor = 16;

}  // namespace

ModeOutcome ExpectedForMode(int mode, const std::vector<std::vector<std::uint8_t>>& reports) {
    ModeOutcome outcome;
    bool buttonDown = false;
    bool clickOnTouch = false;
    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    for (const auto& report : reports) {
        const std::uint8_t status = report[1];
        if ((status & 0x10) != 0) {
            continue;
        }
        const DWORD x = ots::LoadU16(report, 2);
        const DWORD y = ots::LoadU16(report, 4);
        const bool touching = (status & 0x03) != 0;
        const bool released = (status & 0x04) != 0;
        auto emit = [&](DWORD flags, DWORD ex, DWORD ey) {
            outcome.events.push_back({flags, ex * kFactor, ey * kFactor});
        };
        if (touching) {
            if (mode == 0 && !buttonDown) {
                buttonDown = true;
                clickOnTouch = true;
                emit(kDown, x, y);
                emit(kUp, x, y);
            } else if (mode == 1) {
                lastX = static_cast<std::int32_t>(x);
                lastY = static_cast<std::int32_t>(y);
                emit(kMove, x, y);
            } else if (mode == 2) {
                emit(kMoveDown, x, y);
            }
        } else if (released) {
            if (mode == 0 && clickOnTouch) {
                buttonDown = false;
            } else if (mode == 1) {
                outcome.clickRecorded = true;
                outcome.clickX = lastX;
                outcome.clickY = lastY;
                emit(kDown, x, y);
                emit(kUp, x, y);
            } else if (mode == 2) {
                emit(kUp, x, y);
            }
        }
    }
    return outcome;
}

}  // namespace ots::test
