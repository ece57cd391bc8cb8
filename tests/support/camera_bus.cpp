#include "support/camera_bus.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace ots::test {

namespace {
constexpr double kInjectedFullScale = 65536.0;  // mouse_event's absolute range
}  // namespace

CameraDeviceOptions FrameByFrame(CameraDeviceOptions options) {
    options.pacing = ots::sim::Pacing::AsFastAsTaken;
    return options;
}

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

std::vector<std::pair<int, int>> LitRuns(const LineImage& line) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(line.size()); ++i) {
        if (line[static_cast<std::size_t>(i)] != 0) {
            if (runs.empty() || runs.back().second != i) {
                runs.emplace_back(i, i);
            }
            ++runs.back().second;
        }
    }
    return runs;
}

}  // namespace ots::test
