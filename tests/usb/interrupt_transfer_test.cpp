// Interrupt transfers on the report pipe: queued in order, completed by the device's reports.
#include <array>
#include <atomic>
#include <memory>

#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

TEST_F(AttachedDeviceTest, ReportsCompleteQueuedTransfersInOrder) {
    CompletionLog log;
    CompletionLog::Slot slots[3] = {{&log, 0}, {&log, 1}, {&log, 2}};
    std::array<std::array<BYTE, kReportSize>, 3> buffers{};
    USB_TRANSFER transfers[3];
    for (int i = 0; i < 3; ++i) {
        transfers[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
        ASSERT_NE(transfers[i], nullptr);
    }
    EXPECT_EQ(device_->port()->QueuedTransfers(kInEndpoint), 3u);

    for (BYTE i = 0; i < 3; ++i) {
        ASSERT_TRUE(Send({static_cast<BYTE>(0xA0 + i), 1, 2, 3, 4, 5}));
    }

    ASSERT_TRUE(log.WaitFor(3));
    EXPECT_EQ(log.order(), (std::vector{0, 1, 2}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers[i][0], 0xA0 + i);
        const Status status = StatusOf(transfers[i]);
        EXPECT_EQ(status.error, USB_NO_ERROR);
        EXPECT_EQ(status.bytes, 6u);
        EXPECT_TRUE(funcs_->lpCloseTransfer(transfers[i]));
    }
}

TEST_F(AttachedDeviceTest, ReportCarriesItsTrueLengthUpToTheBufferSize) {
    std::array<BYTE, kReportSize> shortBuffer;
    std::array<BYTE, kReportSize> longBuffer;
    shortBuffer.fill(0xEE);
    const USB_TRANSFER shortOne = IssueIn(shortBuffer.data(), kReportSize, nullptr);
    const USB_TRANSFER longOne = IssueIn(longBuffer.data(), kReportSize, nullptr);

    ASSERT_TRUE(Send({1, 2, 3}));
    ASSERT_TRUE(Send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    const Status shortStatus = StatusOf(shortOne);
    EXPECT_EQ(shortStatus.error, USB_NO_ERROR);
    EXPECT_EQ(shortStatus.bytes, 3u);
    EXPECT_EQ(shortBuffer[2], 3);
    EXPECT_EQ(shortBuffer[3], 0xEE);  // nothing written past the report
    const Status longStatus = StatusOf(longOne);
    EXPECT_EQ(longStatus.bytes, kReportSize);
    EXPECT_EQ(longBuffer[7], 8);
    funcs_->lpCloseTransfer(shortOne);
    funcs_->lpCloseTransfer(longOne);
}

TEST_F(AttachedDeviceTest, ShortReportIsAnUnderrunUnlessShortTransfersAreAllowed) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER strict = IssueIn(buffer.data(), kReportSize, nullptr, USB_IN_TRANSFER);

    ASSERT_TRUE(Send({1, 2, 3}));

    const Status status = StatusOf(strict);
    EXPECT_EQ(status.error, USB_DATA_UNDERRUN_ERROR);
    EXPECT_EQ(status.bytes, 3u);
    funcs_->lpCloseTransfer(strict);
}

TEST_F(AttachedDeviceTest, TransferStaysQueuedWhileNoReportIsPending) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER transfer = IssueIn(buffer.data(), kReportSize, nullptr);

    EXPECT_FALSE(funcs_->lpIsTransferComplete(transfer));
    EXPECT_EQ(StatusOf(transfer).error, USB_NOT_COMPLETE_ERROR);
    EXPECT_EQ(device_->port()->QueuedTransfers(kInEndpoint), 1u);

    ASSERT_TRUE(Send({7}));
    EXPECT_TRUE(funcs_->lpIsTransferComplete(transfer));
    EXPECT_EQ(device_->port()->QueuedTransfers(kInEndpoint), 0u);
    funcs_->lpCloseTransfer(transfer);
}

TEST_F(AttachedDeviceTest, ReportSentBeforeATransferWaitsForOne) {
    ASSERT_TRUE(Send({1, 2}));
    ASSERT_TRUE(Send({3, 4}));
    EXPECT_EQ(device_->port()->PendingReports(kInEndpoint), 2u);

    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER transfer = IssueIn(buffer.data(), kReportSize, nullptr);

    EXPECT_TRUE(funcs_->lpIsTransferComplete(transfer));
    EXPECT_EQ(buffer[0], 1);  // the oldest report first
    EXPECT_EQ(device_->port()->PendingReports(kInEndpoint), 1u);
    funcs_->lpCloseTransfer(transfer);
}

TEST_F(AttachedDeviceTest, CompletionRoutinesNeverRunOnTheIssuingOrSendingThread) {
    CompletionLog log;
    CompletionLog::Slot issued{&log, 0};
    CompletionLog::Slot sent{&log, 1};
    std::array<BYTE, kReportSize> first{};
    std::array<BYTE, kReportSize> second{};

    // Completed at once, by a report already waiting.
    ASSERT_TRUE(Send({1}));
    const USB_TRANSFER a = IssueIn(first.data(), kReportSize, &issued);
    // Completed by a report sent from another thread.
    const USB_TRANSFER b = IssueIn(second.data(), kReportSize, &sent);
    std::thread::id sender;
    std::thread([&] {
        sender = std::this_thread::get_id();
        Send({2});
    }).join();

    ASSERT_TRUE(log.WaitFor(2));
    for (const auto& thread : log.threads()) {
        EXPECT_NE(thread, std::this_thread::get_id());
        EXPECT_NE(thread, sender);
    }
    funcs_->lpCloseTransfer(a);
    funcs_->lpCloseTransfer(b);
}

TEST_F(AttachedDeviceTest, StallHaltsThePipeUntilItIsReset) {
    CompletionLog log;
    CompletionLog::Slot slots[2] = {{&log, 0}, {&log, 1}};
    std::array<BYTE, kReportSize> buffers[2] = {};
    const USB_TRANSFER stalled = IssueIn(buffers[0].data(), kReportSize, &slots[0]);
    const USB_TRANSFER waiting = IssueIn(buffers[1].data(), kReportSize, &slots[1]);

    device_->port()->Stall(kInEndpoint);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(StatusOf(stalled).error, USB_STALL_ERROR);
    BOOL halted = FALSE;
    ASSERT_TRUE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_TRUE(halted);

    ASSERT_TRUE(Send({9}));  // a halted pipe takes nothing
    EXPECT_EQ(device_->port()->PendingReports(kInEndpoint), 1u);
    EXPECT_FALSE(funcs_->lpIsTransferComplete(waiting));

    ASSERT_TRUE(funcs_->lpResetPipe(pipe_));
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(StatusOf(waiting).error, USB_NO_ERROR);
    EXPECT_EQ(buffers[1][0], 9);
    ASSERT_TRUE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_FALSE(halted);
    funcs_->lpCloseTransfer(stalled);
    funcs_->lpCloseTransfer(waiting);
}

TEST_F(AttachedDeviceTest, StallWithNothingQueuedMeetsTheNextTransfer) {
    device_->port()->Stall(kInEndpoint);
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER transfer = IssueIn(buffer.data(), kReportSize, nullptr);

    EXPECT_EQ(StatusOf(transfer).error, USB_STALL_ERROR);
    funcs_->lpCloseTransfer(transfer);
}

TEST_F(AttachedDeviceTest, AbortPipeTransfersCancelsEveryQueuedTransferBeforeReturning) {
    CompletionLog log;
    CompletionLog::Slot slots[3] = {{&log, 0}, {&log, 1}, {&log, 2}};
    std::array<BYTE, kReportSize> buffers[3] = {};
    USB_TRANSFER transfers[3];
    for (int i = 0; i < 3; ++i) {
        transfers[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
    }

    ASSERT_TRUE(funcs_->lpAbortPipeTransfers(pipe_, 0));

    EXPECT_EQ(log.order(), (std::vector{0, 1, 2}));  // every routine has run already
    for (auto transfer : transfers) {
        EXPECT_EQ(StatusOf(transfer).error, USB_CANCELED_ERROR);
        funcs_->lpCloseTransfer(transfer);
    }
    ASSERT_TRUE(Send({1}));  // the pipe stays open; the report waits for a transfer
    EXPECT_EQ(device_->port()->PendingReports(kInEndpoint), 1u);
}

TEST_F(AttachedDeviceTest, ClosingAnUnfinishedTransferCancelsItQuietly) {
    CompletionLog log;
    CompletionLog::Slot closedSlot{&log, 0};
    CompletionLog::Slot laterSlot{&log, 1};
    auto buffer = std::make_unique<BYTE[]>(kReportSize);
    const USB_TRANSFER closed = IssueIn(buffer.get(), kReportSize, &closedSlot);

    ASSERT_TRUE(funcs_->lpCloseTransfer(closed));
    buffer.reset();  // the client may free its buffer now
    std::array<BYTE, kReportSize> laterBuffer{};
    const USB_TRANSFER later = IssueIn(laterBuffer.data(), kReportSize, &laterSlot);
    ASSERT_TRUE(Send({5}));

    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.order(), std::vector{1});  // routines run in order: the closed one never did
    EXPECT_EQ(laterBuffer[0], 5);
    EXPECT_FALSE(funcs_->lpGetTransferStatus(closed, nullptr, nullptr));
    funcs_->lpCloseTransfer(later);
}

TEST_F(AttachedDeviceTest, AbortTransferCancelsOnlyThatTransfer) {
    std::array<BYTE, kReportSize> buffers[2] = {};
    const USB_TRANSFER aborted = IssueIn(buffers[0].data(), kReportSize, nullptr);
    const USB_TRANSFER kept = IssueIn(buffers[1].data(), kReportSize, nullptr);

    ASSERT_TRUE(funcs_->lpAbortTransfer(aborted, 0));
    ASSERT_TRUE(Send({3}));

    EXPECT_EQ(StatusOf(aborted).error, USB_CANCELED_ERROR);
    EXPECT_EQ(StatusOf(kept).error, USB_NO_ERROR);
    EXPECT_EQ(buffers[1][0], 3);
    funcs_->lpCloseTransfer(aborted);
    funcs_->lpCloseTransfer(kept);
}

TEST_F(AttachedDeviceTest, DeviceThatStopsRespondingAnswersError5UntilItRespondsAgain) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER queued = IssueIn(buffer.data(), kReportSize, nullptr);

    device_->port()->SetResponding(false);
    EXPECT_EQ(StatusOf(queued).error, USB_DEVICE_NOT_RESPONDING_ERROR);
    const USB_TRANSFER fresh = IssueIn(buffer.data(), kReportSize, nullptr);
    EXPECT_EQ(StatusOf(fresh).error, USB_DEVICE_NOT_RESPONDING_ERROR);

    device_->port()->SetResponding(true);
    const USB_TRANSFER again = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_TRUE(Send({4}));
    EXPECT_EQ(StatusOf(again).error, USB_NO_ERROR);
    for (auto t : {queued, fresh, again}) {
        funcs_->lpCloseTransfer(t);
    }
}

TEST_F(AttachedDeviceTest, ClosedPipeRefusesTransfersAndCanBeOpenedAgain) {
    ASSERT_TRUE(funcs_->lpClosePipe(pipe_));
    std::array<BYTE, kReportSize> buffer{};

    // A real stack would have freed the pipe: every such call is an error and a debug line.
    const ce::host::DebugCapture debug;
    EXPECT_EQ(IssueIn(buffer.data(), kReportSize, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    BOOL halted = FALSE;
    EXPECT_FALSE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_FALSE(funcs_->lpResetPipe(pipe_));
    EXPECT_FALSE(funcs_->lpClosePipe(pipe_));
    EXPECT_EQ(debug.Lines().size(), 4u);
    EXPECT_TRUE(debug.Contains("IssueInterruptTransfer on closed pipe"));
    EXPECT_FALSE(device_->port()->IsPipeOpen(kInEndpoint));

    const USB_PIPE reopened =
        funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[1].Descriptor);
    ASSERT_NE(reopened, nullptr);
    EXPECT_NE(reopened, pipe_);
    EXPECT_EQ(funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[1].Descriptor),
              nullptr);  // one pipe per endpoint
    pipe_ = reopened;
}

TEST_F(AttachedDeviceTest, OutPipeHandsItsDataToTheDevice) {
    const USB_PIPE out =
        funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[0].Descriptor);
    ASSERT_NE(out, nullptr);
    BYTE data[] = {1, 2, 3};

    const USB_TRANSFER transfer = funcs_->lpIssueInterruptTransfer(
        out, nullptr, nullptr, USB_OUT_TRANSFER, sizeof(data), data, 0);

    ASSERT_NE(transfer, nullptr);
    EXPECT_TRUE(funcs_->lpIsTransferComplete(transfer));
    EXPECT_EQ(StatusOf(transfer).bytes, 3u);
    EXPECT_EQ(device_->outData(), (std::vector<std::vector<BYTE>>{{1, 2, 3}}));
    // The direction must be the endpoint's.
    EXPECT_EQ(funcs_->lpIssueInterruptTransfer(pipe_, nullptr, nullptr, USB_OUT_TRANSFER,
                                               sizeof(data), data, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    funcs_->lpCloseTransfer(transfer);
    funcs_->lpClosePipe(out);
}

// A reader like a client driver's: a ring of transfers, each closed and issued again once it
// completed, in strict order.
class RingReader {
  public:
    RingReader(LPCUSB_FUNCS funcs, USB_PIPE pipe, int ring) : funcs_(funcs), pipe_(pipe) {
        slots_.resize(static_cast<std::size_t>(ring));
        for (auto& slot : slots_) {
            Issue(slot);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~RingReader() {
        stop_ = true;
        thread_.join();
        for (auto& slot : slots_) {
            funcs_->lpCloseTransfer(slot.transfer);
        }
    }
    std::vector<BYTE> firstBytes() {
        std::lock_guard lock(mutex_);
        return firstBytes_;
    }

  private:
    struct Slot {
        std::array<BYTE, kReportSize> buffer{};
        USB_TRANSFER transfer = nullptr;
    };
    void Issue(Slot& slot) {
        slot.transfer = funcs_->lpIssueInterruptTransfer(pipe_, nullptr, nullptr,
                                                         USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK,
                                                         kReportSize, slot.buffer.data(), 0);
    }
    void Run() {
        for (std::size_t next = 0; !stop_; next = (next + 1) % slots_.size()) {
            Slot& slot = slots_[next];
            while (!stop_ && !funcs_->lpIsTransferComplete(slot.transfer)) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (stop_) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                firstBytes_.push_back(slot.buffer[0]);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));  // handling takes time
            funcs_->lpCloseTransfer(slot.transfer);
            Issue(slot);
        }
    }

    LPCUSB_FUNCS funcs_;
    USB_PIPE pipe_;
    std::vector<Slot> slots_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<BYTE> firstBytes_;
    std::thread thread_;
};

TEST_F(AttachedDeviceTest, WaitIdleReturnsOnceTheReaderHasTakenEveryReport) {
    RingReader reader(funcs_, pipe_, 2);
    std::vector<BYTE> expected;
    for (BYTE i = 0; i < 20; ++i) {
        ASSERT_TRUE(Send({i}));
        expected.push_back(i);
    }

    ASSERT_TRUE(device_->port()->WaitIdle(5000));

    EXPECT_EQ(reader.firstBytes(), expected);
    EXPECT_EQ(device_->port()->QueuedTransfers(kInEndpoint), 2u);
}

TEST_F(AttachedDeviceTest, WaitIdleTimesOutWhileAReportFindsNoTransfer) {
    ASSERT_TRUE(Send({1}));
    EXPECT_FALSE(device_->port()->WaitIdle(20));
}

}  // namespace
}  // namespace usbtest
