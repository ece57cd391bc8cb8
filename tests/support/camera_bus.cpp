#include "support/camera_bus.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

namespace ots::test {

namespace {
constexpr double kInjectedFullScale = 65536.0;  // mouse_event's absolute range
}  // namespace

CameraDeviceOptions FrameByFrame(CameraDeviceOptions options) {
    options.pacing = ots::sim::Pacing::AsFastAsTaken;
    return options;
}

ScreenPosition ToScreen(const ce::host::MouseEvent& event, const CameraPanel& panel) {
    return ScreenPosition{event.dx * panel.screenWidthPx / kInjectedFullScale,
                          event.dy * panel.screenHeightPx / kInjectedFullScale};
}

void ExpectGolden(const std::string& text, const std::string& path) {
    if (std::getenv("OTS_REGOLDEN") != nullptr) {
        std::ofstream(path) << text;
        return;
    }
    std::ifstream in(path);
    EXPECT_TRUE(in.is_open()) << "no golden text at " << path;
    EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(in), {})) << "against " << path;
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
