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
constexpr double kStallPeriods = 4.0;

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
    const ce::host::ScopedTimeScale clock(0.2);  // a period is 10 ms of real time
    CameraPanel panel = RealisticCameraPanel();
    panel.framesPerSecond = kFramesPerSecond;
    CameraDevice camera(panel);
    TimingPort port;
    camera.Connected(&port);

    // A stroke of 2000 frames: queued at once, rendered frame by frame ahead of its slot.
    const double calledMs = ce::host::PlatformNowMs();
    const double downMs = camera.TouchDown(100, 100);
    camera.MoveTo(700, 500, 2000 * kPeriodMs);
    EXPECT_LE(downMs - calledMs, kPeriodMs) << "the first frame waits for more than its slot";
    ASSERT_TRUE(ots::test::WaitUntil([&] { return port.SentMs().size() >= kFrames; }));
    camera.Disconnected();

    // Never early; late only while the host stalls (the frames due meanwhile), each alone.
    const std::vector<double> sentMs = port.SentMs();
    std::size_t late = 0;
    for (std::size_t n = 0; n < kFrames; ++n) {
        const double dueMs = downMs + static_cast<double>(n) * kPeriodMs;
        EXPECT_GE(sentMs[n], dueMs - 1e-6) << "frame " << n << " left early";
        late += sentMs[n] > dueMs + kPeriodMs ? 1 : 0;
    }
    EXPECT_LE(late, static_cast<std::size_t>(kStallPeriods) + 4)
        << "a stall shifted the frames after it";
}

}  // namespace
}  // namespace ots::sim
