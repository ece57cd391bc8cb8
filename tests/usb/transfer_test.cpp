// Transfers: interrupt transfers queued on the report pipe and completed by the device's
// reports, vendor transfers on the default pipe, unplugging, and the port's idle wait.
#include <array>
#include <memory>

#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

using Buffer = std::array<BYTE, kReportSize>;
using Result = std::pair<DWORD, DWORD>;  // USB error, bytes

TEST_F(AttachedDeviceTest, ReportsCompleteQueuedTransfersInOrderWithTheirTrueLength) {
    Buffer buffers[4];
    for (Buffer& b : buffers) {
        b.fill(0xEE);
    }
    const USB_TRANSFER transfers[3] = {IssueIn(buffers[0].data(), 0), IssueIn(buffers[1].data(), 1),
                                       IssueIn(buffers[2].data(), 2)};
    EXPECT_FALSE(funcs_->lpIsTransferComplete(transfers[0])) << "queued while no report is there";
    EXPECT_EQ(port()->QueuedTransfers(kInEndpoint), 3u);
    ASSERT_TRUE(Send({0xA0, 1, 2}));
    ASSERT_TRUE(Send({0xA1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    ASSERT_TRUE(Send({0xA2, 1, 2, 3, 4, 5}));
    // In order, and never inside the call that completed them.
    EXPECT_EQ(TestDriver().Trace(3), "completed 0\ncompleted 1\ncompleted 2\n");
    const DWORD lengths[3] = {3, kReportSize, 6};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Finish(transfers[i]), Result(USB_NO_ERROR, lengths[i]));
        EXPECT_EQ(buffers[i][0], 0xA0 + i);
    }
    EXPECT_EQ(buffers[0][3], 0xEE) << "nothing written past the report";

    ASSERT_TRUE(Send({1, 2}));  // a report sent before a transfer waits for one
    ASSERT_TRUE(Send({3, 4}));
    EXPECT_EQ(port()->PendingReports(kInEndpoint), 2u);
    const USB_TRANSFER strict = IssueIn(buffers[3].data(), -1, USB_IN_TRANSFER);
    EXPECT_EQ(Finish(strict), Result(USB_DATA_UNDERRUN_ERROR, 2))
        << "short without USB_SHORT_TRANSFER_OK";
    EXPECT_EQ(buffers[3][0], 1) << "the oldest report first";
}

TEST_F(AttachedDeviceTest, StallHaltsThePipeUntilItIsReset) {
    Buffer buffers[2] = {};
    const USB_TRANSFER stalled = IssueIn(buffers[0].data(), 0);
    const USB_TRANSFER waiting = IssueIn(buffers[1].data(), 1);
    port()->Stall(kInEndpoint);
    EXPECT_EQ(TestDriver().Trace(1), "completed 0\n");
    BOOL halted = FALSE;
    ASSERT_TRUE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_TRUE(halted);
    ASSERT_TRUE(Send({9}));  // a halted pipe takes nothing
    EXPECT_FALSE(funcs_->lpIsTransferComplete(waiting));
    ASSERT_TRUE(funcs_->lpResetPipe(pipe_));
    EXPECT_EQ(TestDriver().Trace(2), "completed 0\ncompleted 1\n");
    EXPECT_EQ(Error(stalled), USB_STALL_ERROR);
    EXPECT_EQ(Error(waiting), USB_NO_ERROR);
    EXPECT_EQ(buffers[1][0], 9);
    port()->Stall(kInEndpoint);  // with nothing queued: meets the next transfer
    EXPECT_EQ(Error(IssueIn(buffers[0].data())), USB_STALL_ERROR);
}

TEST_F(AttachedDeviceTest, AbortAndCloseCancelTransfersBeforeReturning) {
    Buffer buffers[4] = {};
    auto freed = std::make_unique<BYTE[]>(kReportSize);
    const USB_TRANSFER closed = IssueIn(freed.get(), 0);
    ASSERT_TRUE(funcs_->lpCloseTransfer(closed));
    freed.reset();  // the client may free its buffer now
    const USB_TRANSFER aborted = IssueIn(buffers[1].data(), 1);
    const USB_TRANSFER kept = IssueIn(buffers[2].data(), 2);
    ASSERT_TRUE(funcs_->lpAbortTransfer(aborted, 0));
    ASSERT_TRUE(Send({3}));
    EXPECT_EQ(TestDriver().Trace(2), "completed 1\ncompleted 2\n")
        << "the closed one's routine never ran";
    EXPECT_EQ(Error(aborted), USB_CANCELED_ERROR);
    EXPECT_EQ(Error(kept), USB_NO_ERROR);
    EXPECT_EQ(buffers[2][0], 3);
    EXPECT_FALSE(funcs_->lpGetTransferStatus(closed, nullptr, nullptr));

    const USB_TRANSFER queued = IssueIn(buffers[3].data(), 3);
    ASSERT_TRUE(funcs_->lpAbortPipeTransfers(pipe_, 0));
    EXPECT_EQ(TestDriver().Trace(), "completed 1\ncompleted 2\ncompleted 3\n")
        << "every routine ran already";
    EXPECT_EQ(Error(queued), USB_CANCELED_ERROR);
}

TEST_F(AttachedDeviceTest, PipesTakeTheirEndpointsDirectionAndOpenOncePerEndpoint) {
    const USB_PIPE out = funcs_->lpOpenPipe(device_, Endpoint(0));
    BYTE data[] = {1, 2, 3};
    EXPECT_EQ(Finish(funcs_->lpIssueInterruptTransfer(out, nullptr, nullptr, USB_OUT_TRANSFER,
                                                      sizeof(data), data, 0)),
              Result(USB_NO_ERROR, 3));
    EXPECT_EQ(funcs_->lpIssueInterruptTransfer(pipe_, nullptr, nullptr, USB_OUT_TRANSFER,
                                               sizeof(data), data, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    funcs_->lpClosePipe(out);

    ASSERT_TRUE(funcs_->lpClosePipe(pipe_));
    // A real stack would have freed the pipe: every such call is an error and a debug line.
    const ce::host::DebugCapture debug;
    EXPECT_EQ(IssueIn(data), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    BOOL halted = FALSE;
    EXPECT_FALSE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_FALSE(funcs_->lpResetPipe(pipe_));
    EXPECT_FALSE(funcs_->lpClosePipe(pipe_));
    EXPECT_EQ(debug.Lines().size(), 4u);
    EXPECT_TRUE(debug.Contains("IssueInterruptTransfer on closed pipe"));
    EXPECT_FALSE(port()->IsPipeOpen(kInEndpoint));
    pipe_ = funcs_->lpOpenPipe(device_, Endpoint(1));
    ASSERT_NE(pipe_, nullptr);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, Endpoint(1)), nullptr);
}

// Requests on the default pipe, answered by the controller from its descriptors.
TEST_F(AttachedDeviceTest, VendorTransfersRunSynchronouslyOrOnAStackThread) {
    constexpr USB_DEVICE_REQUEST kGetDevice{0x80, 6, 0x0100, 0, 64};  // GET_DESCRIPTOR
    BYTE received[64] = {};
    EXPECT_EQ(Finish(Control(kGetDevice, received)), Result(USB_NO_ERROR, 18));
    EXPECT_EQ(std::vector<BYTE>(received, received + 10),
              (std::vector<BYTE>{18, 1, 0x10, 0x01, 0, 0, 0, 8, 0x17, 0x5A}));
    const USB_TRANSFER async = Control({0x80, 6, 0x0100, 0, 8}, received, 0);
    EXPECT_EQ(TestDriver().Trace(1), "completed 0\n");
    EXPECT_EQ(Finish(async), Result(USB_NO_ERROR, 8));
    EXPECT_EQ(Finish(Control({0xC0, 0x55, 0, 0, 8}, received)), Result(USB_STALL_ERROR, 0));
    EXPECT_EQ(Error(Control({0x00, 9, 1, 0, 0}, nullptr)), USB_NO_ERROR);  // SET_CONFIGURATION
    std::vector<BYTE> seen;  // the OUT stage as the device got it
    tap_->RefuseCommands([&](std::span<const BYTE> data) {
        seen.assign(data.begin(), data.end());
        return true;
    });
    BYTE sent[] = {9, 8, 7};
    EXPECT_EQ(Finish(Control({0x40, 1, 0, 0, 3}, sent)), Result(USB_STALL_ERROR, 0));
    EXPECT_EQ(seen, (std::vector<BYTE>{9, 8, 7}));
    EXPECT_EQ(Control({0x40, 1, 0, 0, 4}, nullptr), nullptr);
    EXPECT_EQ(funcs_->lpIssueVendorTransfer(device_, nullptr, nullptr, 0, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const std::size_t requests = panel_->ControlRequests().size();
    port()->SetResponding(false);
    Buffer buffer{};
    const USB_TRANSFER queued = IssueIn(buffer.data());
    EXPECT_EQ(Error(Control(kGetDevice, received)), USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(panel_->ControlRequests().size(), requests) << "the request never reached the device";
    EXPECT_EQ(Error(queued), USB_DEVICE_NOT_RESPONDING_ERROR);
    port()->SetResponding(true);
    const USB_TRANSFER again = IssueIn(buffer.data());
    ASSERT_TRUE(Send({4}));
    EXPECT_EQ(Error(again), USB_NO_ERROR);
}

TEST_F(AttachedDeviceTest, UnplugNotifiesOnceCancelsTheQueueAndTheGoneDeviceAnswers5) {
    Buffer buffers[2] = {};
    const USB_TRANSFER done = IssueIn(buffers[0].data(), 0);
    ASSERT_TRUE(Send({1, 2}));
    ASSERT_EQ(TestDriver().Trace(1), "completed 0\n");
    const USB_TRANSFER queued = IssueIn(buffers[1].data(), 1);
    ce::host::UsbPort* bus = port();
    bool acceptedDuringNotify = true;
    TestDriver().onClose = [&] {
        acceptedDuringNotify = bus->SendInterrupt(kInEndpoint, std::vector<BYTE>{1});
    };
    const ce::host::UsbDeviceId id = plugged_->id();
    plugged_->Unplug();
    // The queue is cancelled after the driver was told.
    EXPECT_EQ(TestDriver().Trace(3), "completed 0\nnotify 0x1\ncompleted 1\n");
    EXPECT_FALSE(acceptedDuringNotify) << "the port refuses reports once the device is gone";
    EXPECT_EQ(Error(done), USB_NO_ERROR);
    EXPECT_EQ(Error(queued), USB_CANCELED_ERROR);
    EXPECT_FALSE(panel_->IsConnected());
    EXPECT_FALSE(ce::host::UnplugUsbDevice(id));
    const USB_TRANSFER afterwards = IssueIn(buffers[0].data());
    ASSERT_NE(afterwards, nullptr) << "the pipe is still open";
    EXPECT_EQ(Error(afterwards), USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(Error(Control({0x80, 6, 0x0100, 0, 8}, buffers[0].data())),
              USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, Endpoint(0)), nullptr);
    ASSERT_TRUE(funcs_->lpClosePipe(pipe_));
    pipe_ = nullptr;
    // Once the driver has let go of everything, the device handle is refused too.
    EXPECT_EQ(funcs_->lpGetDeviceInfo(device_), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Idle: every report taken, completed transfers closed, the pipe queued as deep as ever.
// (No allocation per report on the reader thread is the integration suite's.)
TEST_F(AttachedDeviceTest, WaitIdleSeesTheQueueRefilledAndNotAReportLeftOver) {
    Buffer buffers[2] = {};
    const USB_TRANSFER ring[2] = {IssueIn(buffers[0].data()), IssueIn(buffers[1].data())};
    ASSERT_TRUE(port()->WaitIdle(5000));
    ASSERT_TRUE(Send({1}));
    ASSERT_TRUE(Send({2}));
    EXPECT_FALSE(port()->WaitIdle(20)) << "completed transfers not closed, none queued";
    for (USB_TRANSFER t : ring) {
        funcs_->lpCloseTransfer(t);
    }
}

}  // namespace
}  // namespace usbtest
