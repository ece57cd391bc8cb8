// The simulated camera keeps its own frame clock: frame n of a stroke leaves at the stroke's
// first slot + n periods on the platform clock, however long the stroke is and whatever the
// host does meanwhile.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "sim/camera_device.h"
#include "support/scaled_clock.h"

namespace ots::sim {
namespace {

constexpr int kFramesPerSecond = 20;
constexpr double kPeriodMs = 1000.0 / kFramesPerSecond;
constexpr std::size_t kFrames = 40;
constexpr std::size_t kStalledFrame = 10;
constexpr double kStallPeriods = 6.0;

// A bus that writes down when each frame's first packet left, and stalls once, inside the
// send of one frame, as a busy host does.
class TimingPort final : public ce::host::UsbPort {
  public:
    bool SendInterrupt(BYTE, std::span<const BYTE> packet) override {
        if (packet.size() > 4 && packet[4] != 0) {
            return true;  // the frame's second packet
        }
        std::size_t frame = 0;
        {
            std::lock_guard lock(mutex_);
            frame = sentMs_.size();
            sentMs_.push_back(ce::host::PlatformNowMs());
        }
        if (frame == kStalledFrame) {
            std::this_thread::sleep_for(ce::host::ToRealDuration(kStallPeriods * kPeriodMs));
        }
        return true;
    }
    void Stall(BYTE) override {}
    void SetResponding(bool) override {}
    bool WaitIdle(DWORD) override { return true; }
    std::size_t QueuedTransfers(BYTE) const override { return 0; }
    std::size_t PendingReports(BYTE) const override { return 0; }
    bool IsPipeOpen(BYTE) const override { return true; }

    std::vector<double> SentMs() const {
        std::lock_guard lock(mutex_);
        return sentMs_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<double> sentMs_;
};

TEST(CameraSchedule, FramesLeaveOnTheirSlotsWhileALongStrokeRendersAndTheHostStalls) {
    const ce::host::ScopedTimeScale clock(0.5);  // a period is 25 ms of real time
    CameraPanel panel = RealisticCameraPanel();
    panel.framesPerSecond = kFramesPerSecond;
    CameraDevice camera(panel);
    TimingPort port;
    camera.Connected(&port);

    // A stroke of 20000 frames: queued at once, each rendered ahead of its slot, so the
    // movement goes on in the slot after the finger came down.
    const double calledMs = ce::host::PlatformNowMs();
    const double downMs = camera.TouchDown(100, 100);
    EXPECT_LE(downMs - calledMs, kPeriodMs) << "the first frame waits for more than its slot";
    EXPECT_NEAR(camera.MoveTo(700, 500, 20000 * kPeriodMs), downMs + kPeriodMs, 1e-6);
    ASSERT_TRUE(ots::test::WaitUntil([&] { return port.SentMs().size() >= kFrames; }));
    camera.Disconnected();

    // Never early. Once the stall is over the frames are back on their slots: a schedule that
    // restarted after it would leave every later frame late by the stall. Half of them may
    // still be held up by the machine itself.
    const std::vector<double> sentMs = port.SentMs();
    const std::size_t afterStall = kStalledFrame + static_cast<std::size_t>(kStallPeriods) + 1;
    std::size_t onTime = 0;
    for (std::size_t n = 0; n < kFrames; ++n) {
        const double dueMs = downMs + static_cast<double>(n) * kPeriodMs;
        EXPECT_GE(sentMs[n], dueMs - 1e-6) << "frame " << n << " left early";
        onTime += n >= afterStall && sentMs[n] <= dueMs + 2 * kPeriodMs ? 1 : 0;
    }
    EXPECT_GE(2 * onTime, kFrames - afterStall) << "the stall shifted the frames after it";
}

}  // namespace
}  // namespace ots::sim
