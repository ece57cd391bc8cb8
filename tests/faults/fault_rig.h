// What the fault tests share: the driver installed on the scaled clock, a camera controller
// whose bus port the test can reach, a plug that runs on its own thread (so the test can pull
// the device out in the middle of attach), and the counts that must come back after a fault.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "support/bus.h"

namespace faults {

inline constexpr double kTimeScale = 0.01;  // real ms per platform ms

// Resources that a fault must not leave behind.
struct Counts {
    std::size_t handles;  // kernel handles
    std::size_t threads;  // threads of this process
    std::int64_t blocks;  // live LocalAlloc blocks
    // Nothing left over: the same handles and blocks, and no thread more but the stack's own
    // completion thread, which starts and ends on demand. A thread of ours keeps its handle
    // until joined, so a leaked one shows among the handles too.
    bool operator==(const Counts& base) const {
        return handles == base.handles && blocks == base.blocks && threads <= base.threads + 1;
    }
};
Counts CountNow();
// Polls until the counts come back to `expected` (a thread ends shortly after it is joined).
Counts WaitCounts(const Counts& expected);
std::ostream& operator<<(std::ostream& out, const Counts& c);

// Polls (platform ms) until the condition holds; false on timeout.
template <class Condition>
bool WaitFor(Condition condition, double platformMs = ots::test::kSettleMs) {
    const double deadline = ce::host::PlatformNowMs() + platformMs;
    while (!condition()) {
        if (ce::host::PlatformNowMs() > deadline) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

class FaultTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A camera controller behind a tap, handed over one frame at a time.
    void MakeCamera(ots::sim::Pacing pacing = ots::sim::Pacing::AsFastAsTaken);
    // Plugs on a thread of its own; returns once the device is on the bus.
    void PlugInBackground();
    // Plugs and waits for attach to finish.
    void Plug();
    // Unplugs (attach may still run) and waits for the plugging thread.
    void Unplug();
    // Taps once and says whether the driver pressed.
    bool TapPresses();
    // Nothing is left behind, and a fresh camera plugs, opens as "OTS1:" and presses on a tap.
    void ExpectCleanAndNextPlugWorks();

    ots::sim::CameraDevice& camera() { return *camera_; }
    ots::test::BusTap& tap() { return *tap_; }

    ce::host::ScopedTimeScale fast_{kTimeScale};
    ce::host::MouseEventRecorder recorder_;
    Counts baseline_{};

  private:
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::shared_ptr<ots::test::BusTap> tap_;
    std::thread plugger_;
};

}  // namespace faults
