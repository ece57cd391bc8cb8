// What the fault tests share: the driver installed on the scaled clock, a camera controller
// whose bus port the test can reach, a plug that runs on its own thread (so the test can pull
// the device out in the middle of attach), and the counts that must come back after a fault.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "sim/camera_device.h"
#include "support/bus.h"
#include "support/scaled_clock.h"

namespace faults {

using ots::test::WaitUntil;
inline constexpr double kTimeScale = 0.01;  // real ms per platform ms

// Resources a fault must not leave behind: kernel handles, threads of this process and live
// LocalAlloc blocks. No thread more but the stack's own completion thread, which starts and
// ends on demand; a thread of ours keeps its handle until joined, so a leak shows there too.
struct Counts {
    std::size_t handles, threads;
    std::int64_t blocks;
    bool operator==(const Counts& b) const {
        return handles == b.handles && blocks == b.blocks && threads <= b.threads + 1;
    }
};
Counts CountNow();
std::ostream& operator<<(std::ostream& out, const Counts& c);
// The counts once they are back to `expected` (a thread ends shortly after it is joined), or
// after half a minute.
Counts CountsBackTo(const Counts& expected);

class FaultTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A camera controller behind a tap, handed over one frame at a time.
    void MakeCamera(ots::sim::Pacing pacing = ots::sim::Pacing::AsFastAsTaken);
    // Plugs on a thread of its own; returns once the device is on the bus.
    void PlugInBackground();
    void Plug();
    // Unplugs (attach may still run) and waits for the plugging thread.
    void Unplug();
    // Taps once and says whether the driver pressed.
    bool TapPresses();
    // Nothing is left behind, and a fresh camera plugs, opens as "OTS1:" and presses on a tap.
    void ExpectCleanAndNextPlugWorks();

    ce::host::ScopedTimeScale fast_{kTimeScale};
    ce::host::MouseEventRecorder recorder_;
    Counts baseline_{};
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::shared_ptr<ots::test::BusTap> tap_;

  private:
    std::thread plugger_;
};

}  // namespace faults
