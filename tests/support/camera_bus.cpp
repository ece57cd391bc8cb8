#include "support/camera_bus.h"

#include <algorithm>

namespace ots::test {

namespace {
constexpr double kInjectedFullScale = 65536.0;  // mouse_event's absolute range
}  // namespace

std::vector<ScreenPosition> CameraBusTest::Presses(const CameraPanel& panel) const {
    std::vector<ScreenPosition> presses;
    for (const ce::host::MouseEvent& event : recorder_.Events()) {
        if (event.flags == kMoveDown) {
            presses.push_back({event.dx * panel.screenWidthPx / kInjectedFullScale,
                               event.dy * panel.screenHeightPx / kInjectedFullScale});
        }
    }
    return presses;
}

std::size_t CameraBusTest::Lifts() const {
    return static_cast<std::size_t>(
        std::ranges::count(recorder_.Events(), kUp, &ce::host::MouseEvent::flags));
}

}  // namespace ots::test
