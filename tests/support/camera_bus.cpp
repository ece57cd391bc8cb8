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

std::optional<LineImage> DecodeImagePacket(std::span<const BYTE> packet) {
    if (packet.size() != 64 || packet[0] != 0xAA || packet[2] != 1) {
        return std::nullopt;
    }
    const std::size_t length = packet[3];
    unsigned sum = 0x55;
    for (std::size_t i = 0; i < 4 + length && i < 64; ++i) {
        sum += packet[i];
    }
    if (length < 1 || 4 + length > 63 || packet[4 + length] != static_cast<BYTE>(sum)) {
        return std::nullopt;
    }
    LineImage line{};
    std::size_t pixel = 0;
    for (std::size_t at = 5; at <= length + 3; ++at) {
        for (std::size_t i = 0; i <= std::size_t{packet[at]} >> 1; ++i, ++pixel) {
            if (pixel == line.size()) {
                return std::nullopt;
            }
            line[pixel] = packet[at] & 1;
        }
    }
    return pixel == line.size() ? std::optional(line) : std::nullopt;
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
