// Unplugging a controller while its reader is busy: the reader has ended before its report pipe
// is closed, so it never resets or resubmits on a pipe the USB stack has already freed, and
// nothing the driver took is left.
#include <gtest/gtest.h>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "support/bus.h"

namespace ots::test {
namespace {

class UnplugTeardownTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(UnplugTeardownTest, TheReaderMakesNoCallOnTheClosedPipeAndEverythingIsFreed) {
    const ce::host::DebugCapture debug;
    const std::int64_t blocks = ce::host::LiveLocalBlockCount();
    const std::size_t handles = ce::host::LiveHandleCount();
    for (int i = 0; i < 3; ++i) {
        PluggedController controller;
        controller.panel().SetPacing(ots::sim::Pacing::AsFastAsTaken);
        controller.panel().Drag(100, 100, 700, 500, 5000);
        ASSERT_TRUE(controller.panel().WaitReportsSent(20, kSettleMs));
        controller.Unplug();
    }
    EXPECT_FALSE(debug.Contains("on closed pipe"));
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), blocks);
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);
    EXPECT_TRUE(ce::host::ListActiveDevices().empty());
}

}  // namespace
}  // namespace ots::test
