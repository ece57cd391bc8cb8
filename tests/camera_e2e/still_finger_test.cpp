// A finger resting on the panel: once its position has settled, the pointer stays put.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

#include "support/camera_bus.h"
#include "protocol/control_codes.h"

namespace camera_e2e {
using namespace ots::test;
namespace {

using ots::sim::Camera;
using ots::sim::SensorNoise;

constexpr double kRestMs = 1500.0;  // 150 frames
constexpr std::size_t kRestFrames = 150;
constexpr double kFingerXPx = 400.0;
constexpr double kFingerYPx = 300.0;
constexpr std::size_t kSmoothnessOffset = 18;       // DWORD, default 1
constexpr std::size_t kDoubleClickAreaOffset = 34;  // DWORD, default 4

using Position = std::pair<DWORD, DWORD>;

class StillFingerTest : public CameraBusTest {
  protected:
    void PlugWith(const SensorNoise& noise) {
        CameraDeviceOptions options;
        options.noise = noise;
        Plug(MakeCamera(ots::sim::RealisticCameraPanel(), FrameByFrame(options)));
    }

    // Rests the finger and returns the positions it was pressed at, in order.
    std::vector<Position> Rest() {
        recorder_.Clear();
        camera().TouchDown(kFingerXPx, kFingerYPx);
        camera().Hold(kRestMs);
        Settle();
        std::vector<Position> presses;
        for (const auto& event : EventsWithFlags(kMoveDown)) {
            presses.emplace_back(event.dx, event.dy);
        }
        return presses;
    }

    void Lift() {
        camera().TouchUp();
        Settle();
    }

    double DistanceToFingerPx(const Position& at) const {
        const ScreenPosition screen =
            ToScreen({kMoveDown, at.first, at.second, 0.0}, ots::sim::RealisticCameraPanel());
        return std::hypot(screen.xPx - kFingerXPx, screen.yPx - kFingerYPx);
    }

    // The middle pixel of the finger's shadow in a camera.
    static int ShadowMiddle(Camera camera) {
        const ots::sim::CameraOptics optics(ots::sim::RealisticCameraPanel());
        const auto shadow = optics.ShadowOf({kFingerXPx, kFingerYPx}, camera);
        return shadow ? (shadow->start + shadow->end) / 2 : -1;
    }
};

struct Sensor {
    const char* name;
    bool deadPixels;
    DWORD smoothness;
};

class StillFingerOnSensor : public StillFingerTest, public ::testing::WithParamInterface<Sensor> {};

TEST_P(StillFingerOnSensor, PressStaysAtOnePosition) {
    SensorNoise noise;
    if (GetParam().deadPixels) {
        // A pixel that never lights, in the middle of each camera's shadow.
        noise.deadPixelA = ShadowMiddle(Camera::A);
        noise.deadPixelB = ShadowMiddle(Camera::B);
        ASSERT_GE(noise.deadPixelA, 0);
        ASSERT_GE(noise.deadPixelB, 0);
    }
    PlugWith(noise);
    SetDriverConfigByte(kSmoothnessOffset, static_cast<BYTE>(GetParam().smoothness));

    const std::vector<Position> presses = Rest();
    // One press per frame once the look-ahead and the spline's history step have passed.
    ASSERT_GE(presses.size(), kRestFrames - 5);
    EXPECT_EQ(std::count(presses.begin(), presses.end(), presses.front()),
              static_cast<std::ptrdiff_t>(presses.size()))
        << "the pressed position moved";
    EXPECT_LT(DistanceToFingerPx(presses.front()), 1.0);
    EXPECT_TRUE(EventsWithFlags(kUp).empty());
}

INSTANTIATE_TEST_SUITE_P(Sensors, StillFingerOnSensor,
                         ::testing::Values(Sensor{"clean", false, 1}, Sensor{"clean", false, 0},
                                           Sensor{"deadPixels", true, 1},
                                           Sensor{"deadPixels", true, 0}),
                         [](const ::testing::TestParamInfo<Sensor>& sensor) {
                             return std::string(sensor.param.name) + "_smoothness" +
                                    std::to_string(sensor.param.smoothness);
                         });

// Shadow edges that jump by a pixel from frame to frame move the solved position by up to
// about two screen pixels. The default DoubleClickArea of 4 spans about four screen pixels,
// less than the spread of 31 jittered samples, so the tap stabiliser takes the finger for a
// moving one and lets the jitter through; and as the spline's step count is measured in
// 1/32768 of the panel, a few units of jitter already ask for the full 60 steps per frame.
// A DoubleClickArea of 8 covers the spread: the stabiliser then holds the finger still.
TEST_F(StillFingerTest, EdgeJitterShowsUntilTheStabiliserAreaCoversIt) {
    PlugWith(SensorNoise{.edgeJitter = true});
    const std::vector<Position> jittered = Rest();
    ASSERT_FALSE(jittered.empty());
    double farthest = 0.0;
    for (const Position& at : jittered) {
        farthest = std::max(farthest, DistanceToFingerPx(at));
    }
    const std::set<Position> distinct(jittered.begin(), jittered.end());
    std::printf(
        "[ jitter ] DoubleClickArea 4: %zu presses in %zu frames at %zu positions, "
        "up to %.2f px from the finger\n",
        jittered.size(), kRestFrames, distinct.size(), farthest);
    EXPECT_LT(farthest, 3.0);
    EXPECT_TRUE(EventsWithFlags(kUp).empty()) << "jitter must not lift the press";
    Lift();

    SetDriverConfigByte(kDoubleClickAreaOffset, 8);
    ots::test::StreamHandle handle;
    ASSERT_TRUE(handle.ok());
    ASSERT_TRUE(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    handle.Close();
    const std::vector<Position> held = Rest();
    ASSERT_GE(held.size(), kRestFrames - 5);
    EXPECT_EQ(std::count(held.begin(), held.end(), held.front()),
              static_cast<std::ptrdiff_t>(held.size()));
    EXPECT_LT(DistanceToFingerPx(held.front()), 1.5);
    std::printf(
        "[ jitter ] DoubleClickArea 8: %zu presses, all at one position %.2f px from "
        "the finger\n",
        held.size(), DistanceToFingerPx(held.front()));
}

}  // namespace
}  // namespace camera_e2e
