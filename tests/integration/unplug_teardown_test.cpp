// Unplugging a controller while its reader is busy: the reader has ended before its report pipe
// is closed, so it never resets or resubmits on a pipe the USB stack has already freed.
#include <gtest/gtest.h>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "support/bus.h"

namespace ots::test {
namespace {

class UnplugTeardownTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(UnplugTeardownTest, TheReaderMakesNoCallOnTheClosedPipe) {
    const ce::host::DebugCapture debug;
    for (int i = 0; i < 3; ++i) {
        PluggedController controller;
        controller.panel().SetPacing(ots::sim::Pacing::AsFastAsTaken);
        controller.panel().Drag(100, 100, 700, 500, 5000);
        ASSERT_TRUE(controller.panel().WaitReportsSent(20, kSettleMs));
        controller.Unplug();
    }
    EXPECT_FALSE(debug.Contains("on closed pipe"));
}

}  // namespace
}  // namespace ots::test
