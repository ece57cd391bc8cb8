// A client that keeps a ring of transfers going costs the stack no allocation once the ring is
// set up: the report path of a driver allocates nothing per report. Every operator new made
// on the client's thread during the client's calls is counted here.
#include <array>

#include "support/alloc_counter.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

TEST_F(AttachedDeviceTest, RingOfTransfersRunsWithoutAllocating) {
    CompletionLog log;
    std::array<CompletionLog::Slot, 2> slots = {{{&log, 0}, {&log, 1}}};
    std::array<std::array<BYTE, kReportSize>, 2> buffers{};
    std::array<USB_TRANSFER, 2> ring{};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        ring[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
    }

    std::size_t allocations = 0;
    constexpr int kWarmUp = 20;
    constexpr int kReports = 200;
    for (int n = 0; n < kWarmUp + kReports; ++n) {
        const std::size_t i = static_cast<std::size_t>(n) % ring.size();
        ASSERT_TRUE(Send({static_cast<BYTE>(n), 1, 2, 3, 4, 5}));  // the device's side
        DWORD bytes = 0;
        DWORD error = 0;
        {
            const std::size_t before = ots::test::ThreadAllocations();
            ASSERT_TRUE(funcs_->lpIsTransferComplete(ring[i]));
            ASSERT_TRUE(funcs_->lpGetTransferStatus(ring[i], &bytes, &error));
            ASSERT_TRUE(funcs_->lpCloseTransfer(ring[i]));
            ring[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
            if (n >= kWarmUp) {
                allocations += ots::test::ThreadAllocations() - before;
            }
        }
        ASSERT_NE(ring[i], nullptr);
        ASSERT_EQ(error, USB_NO_ERROR);
        ASSERT_EQ(buffers[i][0], static_cast<BYTE>(n));
    }

    EXPECT_EQ(allocations, 0u);
    ASSERT_TRUE(log.WaitFor(static_cast<std::size_t>(kWarmUp + kReports)));
    for (auto transfer : ring) {
        funcs_->lpCloseTransfer(transfer);
    }
}

}  // namespace
}  // namespace usbtest
