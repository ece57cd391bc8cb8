// The camera controller on the bus with libotsusb.so attached: where the pointer goes, how
// still it stays under a resting finger, and that reading reports allocates nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "support/alloc_counter.h"
#include "support/camera_bus.h"

namespace camera_e2e {
using namespace ots::test;
namespace {

using ots::sim::Camera;

class OnTheBus : public CameraBusTest {};

// A panel whose blocks the driver cannot use (no frame rate, lens slope 0.5): the driver falls
// back to its default lens models and output scale, which describe this panel's cameras, so
// touches still land where the finger is. Its packet 0 carries camera B. With the default lens
// a pixel spans 1.15 / 320 rad; half a pixel of rounding in each camera puts a finger within
// 3 px of where it is, the far corners included.
TEST_F(OnTheBus, TouchesLandWhereTheFingerIsThroughTheDefaultModels) {
    const CameraPanel panel = ots::sim::DefaultsCameraPanel();
    ASSERT_FALSE(panel.CameraAFirst());
    const double plugged = ce::host::PlatformNowMs();
    {
        // A tenth of real time, so that a busy machine adds little to the pause measured.
        const ce::host::ScopedTimeScale slower(0.1);
        Plug(panel);
    }
    // The controller is left 5 s to settle before the first command.
    EXPECT_GE(camera().Firmware().CommandLog().at(0).platformMs - plugged, 5000.0);
    for (double yPx : {100.0, 300.0, 500.0}) {
        for (double xPx : {100.0, 400.0, 700.0}) {
            recorder_.Clear();
            camera().Tap(xPx, yPx, 100);
            Settle();
            ASSERT_EQ(Lifts(), 1u);
            ASSERT_FALSE(Presses(panel).empty());
            for (const ScreenPosition& at : Presses(panel)) {
                EXPECT_LT(std::hypot(at.xPx - xPx, at.yPx - yPx), 3.0)
                    << "tap at " << xPx << ", " << yPx << " pressed at " << at.xPx << ", "
                    << at.yPx;
            }
        }
    }
    // The upper bounds come from the panel block's size all the same.
    const Bytes config = GetRecord(IOCTL_GET_DEVICE_CONFIG, 58);
    ASSERT_EQ(config.size(), 58u);
    EXPECT_EQ(ots::LoadU16(config, 6), 800);  // MaxX
    EXPECT_EQ(ots::LoadU16(config, 8), 600);  // MaxY
}

// Every heap request of the reader thread and every LocalAlloc is counted while two fingers
// move: the tap filter, the spline with many steps per frame, two tracked fingers, a lift.
TEST_F(OnTheBus, TwoMovingFingersAllocateNothingOnTheReaderThread) {
    // Marks the thread that injects, which is the reader thread.
    const int mark = ce::host::AddInputSink([](const ce::host::MouseEvent&) { WatchThisThread(); });
    Plug();
    // A first touch, held until it is injected, marks the reader thread.
    camera().TouchDown(200, 200);
    camera().Hold(500);
    Settle();
    ASSERT_GT(recorder_.Count(), 0u);

    const std::size_t before = WatchedAllocations();
    const std::uint64_t localAllocs = ce::host::LocalAllocCount();
    const std::size_t packetsBefore = camera().PacketsSent();
    recorder_.Clear();
    ArmWatch(true);
    camera().TouchDown(600, 400, 1);
    camera().MoveTo(500, 300, 400, 1);
    camera().MoveTo(300, 350, 600);
    camera().TouchUp(1);
    camera().MoveTo(100, 500, 300);
    camera().TouchUp();
    Settle();
    ArmWatch(false);
    ce::host::RemoveInputSink(mark);

    EXPECT_GT(camera().PacketsSent() - packetsBefore, 2u * 130u) << "every frame was sent";
    EXPECT_GT(recorder_.Count(), 130u) << "the frames were handled";
    EXPECT_EQ(WatchedAllocations() - before, 0u)
        << "heap requests on the reader thread" << (CountsMalloc() ? "" : " (operator new only)");
    EXPECT_EQ(ce::host::LocalAllocCount(), localAllocs) << "LocalAlloc calls while reading";
}

// A finger resting 1500 ms (150 frames): once its position has settled (the look-ahead and
// the spline's history step), the pointer stays put, with a pixel that never lights in the
// middle of each camera's shadow or without, and with the smoothness off or on.
constexpr std::size_t kSmoothnessOffset = 18;  // DWORD, default 1

TEST_F(OnTheBus, AStillFingerPressesAtOnePositionOnEverySensor) {
    const CameraPanel panel = ots::sim::RealisticCameraPanel();
    const ots::sim::CameraOptics optics(panel);
    const auto middle = [&](Camera camera) {
        const auto shadow = optics.ShadowOf({400, 300}, camera);
        return shadow ? (shadow->start + shadow->end) / 2 : -1;
    };
    for (const bool dead : {false, true}) {
        for (const BYTE smoothness : {BYTE{1}, BYTE{0}}) {
            SCOPED_TRACE(testing::Message()
                         << "dead pixels " << dead << ", smoothness " << int{smoothness});
            CameraDeviceOptions options;
            if (dead) {
                options.noise = {.deadPixelA = middle(Camera::A), .deadPixelB = middle(Camera::B)};
            }
            Plug(panel, FrameByFrame(options));
            SetDriverConfigByte(kSmoothnessOffset, smoothness);
            recorder_.Clear();
            camera().TouchDown(400, 300);
            camera().Hold(1500);
            Settle();
            EXPECT_EQ(Lifts(), 0u) << "the press was lifted";
            const std::vector<ScreenPosition> presses = Presses(panel);
            ASSERT_GE(presses.size(), 145u);
            for (const ScreenPosition& at : presses) {
                EXPECT_EQ(at.xPx, presses.front().xPx) << "the press moved";
                EXPECT_EQ(at.yPx, presses.front().yPx) << "the press moved";
            }
            EXPECT_LT(std::hypot(presses.front().xPx - 400, presses.front().yPx - 300), 1.0);
            camera().TouchUp();
            Settle();
        }
    }
}

}  // namespace
}  // namespace camera_e2e
