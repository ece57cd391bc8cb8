// The report reader: its ring of queued interrupt transfers, strict round robin, error handling
// and cleanup, driven through the fake function table.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "ce/host/kernel_object.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "ce/registry.h"
#include "core/lifecycle.h"
#include "core/transport.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"

namespace ots::test {
namespace {

// A coordinate report: byte 1 status (touching), bytes 2-5 x and y.
std::vector<BYTE> Report(WORD x, WORD y) {
    return {0,
            0x01,
            static_cast<BYTE>(x),
            static_cast<BYTE>(x >> 8),
            static_cast<BYTE>(y),
            static_cast<BYTE>(y >> 8),
            0,
            0};
}

class ReportReaderTest : public DriverCoreTest {
  protected:
    void SetUp() override {
        DriverCoreTest::SetUp();
        baselineBlocks_ = ce::host::LiveLocalBlockCount();
        baselineHandles_ = ce::host::LiveHandleCount();
    }
    DEVICE_CONTEXT* Start(DWORD queued) {
        WriteDword(ots::kClientDriverKey, ots::kQueuedTransferCountValue, queued);
        DEVICE_CONTEXT* pDevice = Create(usb_);
        if (pDevice != nullptr) {
            StartDevice(pDevice);
        }
        return pDevice;
    }
    bool ReaderEnded(DEVICE_CONTEXT* pDevice) {
        return WaitForSingleObject(pDevice->hReaderThread, 10000) == WAIT_OBJECT_0;
    }
    // Detaches; nothing the driver took is left.
    void DetachAndExpectEverythingReleased(DEVICE_CONTEXT* pDevice) {
        Detach(pDevice);
        EXPECT_EQ(ce::host::LiveLocalBlockCount(), baselineBlocks_);
        EXPECT_EQ(ce::host::LiveHandleCount(), baselineHandles_);
        EXPECT_EQ(usb_.OpenTransferCount(), 0u);
    }

    ce::host::MouseEventRecorder recorder_;
    std::int64_t baselineBlocks_ = 0;
    std::size_t baselineHandles_ = 0;
};

TEST_F(ReportReaderTest, RingOfTheConfiguredSizeIsServedOldestFirst) {
    DEVICE_CONTEXT* pDevice = Start(3);
    ASSERT_TRUE(usb_.WaitQueued(3));
    const std::vector<Transfer> queued = usb_.Queued();
    for (std::size_t i = 0; i < 3; ++i) {
        // One block: the buffers follow one another, a packet apart.
        EXPECT_EQ(queued[i].buffer - queued[0].buffer, static_cast<std::ptrdiff_t>(8 * i));
        EXPECT_EQ(queued[i].flags, DWORD{USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK});
        EXPECT_EQ(queued[i].length, 8u);
    }
    ASSERT_TRUE(usb_.CompleteInterrupt(Report(100, 10), USB_NO_ERROR, 1));  // a newer one
    ASSERT_TRUE(usb_.CompleteInterrupt(Report(200, 20)));
    ASSERT_TRUE(recorder_.WaitForCount(2, 10000));
    const auto events = recorder_.Events();
    EXPECT_EQ(events[0].dx, 200u * 16);  // the oldest slot's report comes first
    EXPECT_EQ(events[1].dx, 100u * 16);
    EXPECT_EQ(events[0].flags, 0x8003u);  // mode 2, touching
    ASSERT_TRUE(usb_.WaitQueued(3));      // both slots resubmitted
    DetachAndExpectEverythingReleased(pDevice);
    EXPECT_GE(usb_.abortCalls.load(), 1) << "again while the reader lingers";
    EXPECT_EQ(usb_.closePipeCalls.load(), 1);
}

TEST_F(ReportReaderTest, ShortReportIsHandedOverWithItsTrueLength) {
    DEVICE_CONTEXT* pDevice = Start(1);
    ASSERT_TRUE(usb_.WaitQueued(1));
    // Five bytes are too few for a coordinate report; handed over as eight they would pass.
    std::vector<BYTE> tooShort = Report(300, 30);
    tooShort.resize(5);
    ASSERT_TRUE(usb_.CompleteInterrupt(tooShort));
    ASSERT_TRUE(usb_.WaitQueued(1));
    std::vector<BYTE> shortButWhole = Report(400, 40);
    shortButWhole.resize(6);
    ASSERT_TRUE(usb_.CompleteInterrupt(shortButWhole));
    ASSERT_TRUE(recorder_.WaitForCount(1, 10000));
    ASSERT_TRUE(usb_.WaitQueued(1));
    EXPECT_EQ(recorder_.Count(), 1u);
    EXPECT_EQ(recorder_.Events()[0].dx, 400u * 16);
    Detach(pDevice);
}

TEST_F(ReportReaderTest, FailedTransferIsDroppedAHaltedPipeResetAndTheSlotRetriedLater) {
    ce::host::ScopedTimeScale fast(0.1);
    DEVICE_CONTEXT* pDevice = Start(2);
    ASSERT_TRUE(usb_.WaitQueued(2));
    const std::size_t issued = usb_.InterruptIssueCount();
    usb_.pipeHalted = true;
    const double before = ce::host::PlatformNowMs();
    ASSERT_TRUE(usb_.CompleteInterrupt(Report(500, 50), USB_STALL_ERROR));
    ASSERT_TRUE(usb_.WaitQueued(2));
    EXPECT_GE(ce::host::PlatformNowMs() - before, 25.0) << "resubmitted only after 25 ms";
    EXPECT_EQ(usb_.InterruptIssueCount(), issued + 1);
    EXPECT_EQ(usb_.resetPipeCalls.load(), 1);
    usb_.statusFails = true;  // an unreadable status is retried like any other error
    ASSERT_TRUE(usb_.CompleteInterrupt(Report(1, 1)));
    ASSERT_TRUE(usb_.WaitQueued(2));
    usb_.statusFails = false;
    EXPECT_EQ(recorder_.Count(), 0u) << "the failed reports are dropped";
    ASSERT_TRUE(usb_.CompleteInterrupt(Report(600, 60)));
    EXPECT_TRUE(recorder_.WaitForCount(1, 10000)) << "reading resumes";
    DetachAndExpectEverythingReleased(pDevice);
}

TEST_F(ReportReaderTest, ReaderEndsAndClosesItsTransfersWhenItCannotGoOn) {
    const struct {
        const char* name;
        std::function<void(FakeUsb&, DEVICE_CONTEXT*)> end;
        std::size_t events;
    } rows[] = {
        {"device not responding",
         [](FakeUsb& usb, DEVICE_CONTEXT*) {
             usb.CompleteInterrupt({}, USB_DEVICE_NOT_RESPONDING_ERROR);
         },
         0},
        {"failed resubmission",
         [](FakeUsb& usb, DEVICE_CONTEXT*) {
             usb.interruptIssuesAllowed = usb.InterruptIssueCount();
             usb.CompleteInterrupt(Report(700, 70));
         },
         1},
        {"closing, after the next report",
         [](FakeUsb& usb, DEVICE_CONTEXT* pDevice) {
             pDevice->Flags.store(DEVICE_FLAG_CLOSING);
             usb.CompleteInterrupt(Report(800, 80));
         },
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUsb usb;
        recorder_.Clear();
        WriteDword(ots::kClientDriverKey, ots::kQueuedTransferCountValue, 2);
        DEVICE_CONTEXT* pDevice = Create(usb);
        StartDevice(pDevice);
        ASSERT_TRUE(usb.WaitQueued(2));
        row.end(usb, pDevice);
        ASSERT_TRUE(ReaderEnded(pDevice));
        EXPECT_EQ(recorder_.Count(), row.events);
        EXPECT_EQ(usb.Queued().size(), 0u) << "the other slot's transfer was closed";
        EXPECT_EQ(usb.OpenTransferCount(), 0u);
        // Only the context, its work area, its attach event and the reader's handle remain
        // until detach.
        EXPECT_EQ(ce::host::LiveLocalBlockCount(), baselineBlocks_ + 2);
        EXPECT_EQ(ce::host::LiveHandleCount(), baselineHandles_ + 2);
        pDevice->Flags.store(0);
        Detach(pDevice);
        EXPECT_EQ(ce::host::LiveLocalBlockCount(), baselineBlocks_);
        EXPECT_EQ(ce::host::LiveHandleCount(), baselineHandles_);
    }
}

TEST_F(ReportReaderTest, SlotsThatCannotStartShrinkTheRing) {
    usb_.failInterruptIssueAttempt = 2;  // the third slot cannot start; later issues work
    DEVICE_CONTEXT* pDevice = Start(4);
    // With a ring of two the reader serves both and never waits on a slot that did not start.
    for (WORD i = 1; i <= 4; ++i) {
        ASSERT_TRUE(usb_.WaitQueued(2));
        ASSERT_TRUE(usb_.CompleteInterrupt(Report(i, i)));
    }
    ASSERT_TRUE(recorder_.WaitForCount(4, 10000));
    DetachAndExpectEverythingReleased(pDevice);
}

TEST_F(ReportReaderTest, WithoutAReportPipeOrRoomForItsRingTheReaderEndsAtOnce) {
    usb_.openPipeFails = true;
    DEVICE_CONTEXT* pDevice = Start(2);
    ASSERT_TRUE(ReaderEnded(pDevice));
    DetachAndExpectEverythingReleased(pDevice);
    EXPECT_EQ(usb_.abortCalls.load(), 0) << "no pipe to abort";

    usb_.openPipeFails = false;
    pDevice = Create(usb_);
    pDevice->dwMaxPacketSize = 0x80000000u;  // two buffers of 2 GiB and the slots: > 4 GiB
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    StartDevice(pDevice);
    ASSERT_TRUE(ReaderEnded(pDevice));
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations);
    EXPECT_EQ(usb_.InterruptIssueCount(), 0u);
    Detach(pDevice);
}

// The queued-transfer count comes from the client driver key, only as a REG_DWORD.
TEST_F(DriverCoreTest, QueuedTransferCountIsAClampedDwordOrLeftAsItWas) {
    const struct {
        DWORD stored;
        BYTE expected;
    } cases[] = {{0, 1}, {1, 1}, {2, 2}, {63, 63}, {64, 64}, {65, 64}, {1000, 64}, {0x10000, 64}};
    for (const auto& c : cases) {
        gQueuedTransferCount = 2;
        WriteDword(ots::kClientDriverKey, ots::kQueuedTransferCountValue, c.stored);
        ReadQueuedTransferCount();
        EXPECT_EQ(gQueuedTransferCount, c.expected) << "stored " << c.stored;
    }
    ce::host::ResetRegistry();
    gQueuedTransferCount = 7;   // what an earlier attach set
    ReadQueuedTransferCount();  // no key at all
    WriteDword(ots::kClientDriverKey, L"Other", 9);
    ReadQueuedTransferCount();  // key without the value
    WriteString(ots::kClientDriverKey, ots::kQueuedTransferCountValue, L"5");
    ReadQueuedTransferCount();
    WriteRaw(ots::kClientDriverKey, ots::kQueuedTransferCountValue, REG_BINARY, {5, 0, 0, 0});
    ReadQueuedTransferCount();
    EXPECT_EQ(gQueuedTransferCount, 7);
}

}  // namespace
}  // namespace ots::test
