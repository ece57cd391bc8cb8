// Unplugging: the driver is told once, its transfers end, and the device answers no more.
#include <array>

#include "ce/kernel.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

TEST_F(AttachedDeviceTest, UnplugNotifiesTheDriverOnceAndItsAbortCancelsTheQueue) {
    CompletionLog log;
    CompletionLog::Slot slots[2] = {{&log, 0}, {&log, 1}};
    std::array<BYTE, kReportSize> buffers[2] = {};
    const USB_TRANSFER first = IssueIn(buffers[0].data(), kReportSize, &slots[0]);
    const USB_TRANSFER second = IssueIn(buffers[1].data(), kReportSize, &slots[1]);
    {
        std::lock_guard lock(DriverRecord().mutex);
        DriverRecord().onClose = [this] {
            funcs_->lpAbortPipeTransfers(pipe_, 0);
            funcs_->lpClosePipe(pipe_);
        };
    }
    const ce::host::UsbDeviceId id = plugged_->id();

    plugged_->Unplug();

    const auto notifies = Notifies();
    ASSERT_EQ(notifies.size(), 1u);
    EXPECT_EQ(notifies[0].code, USB_CLOSE_DEVICE);
    EXPECT_NE(notifies[0].thread, std::this_thread::get_id());
    EXPECT_EQ(log.order(), (std::vector{0, 1}));
    EXPECT_EQ(StatusOf(first).error, USB_CANCELED_ERROR);
    EXPECT_EQ(StatusOf(second).error, USB_CANCELED_ERROR);
    EXPECT_EQ(IssueIn(buffers[0].data(), kReportSize, nullptr), nullptr);
    EXPECT_EQ(device_->disconnects(), 1);
    EXPECT_FALSE(ce::host::UnplugUsbDevice(id));

    // Once the driver has let go of everything, the device handle is refused too.
    EXPECT_NE(funcs_->lpGetDeviceInfo(attach_.device), nullptr);
    funcs_->lpCloseTransfer(first);
    funcs_->lpCloseTransfer(second);
    EXPECT_EQ(funcs_->lpGetDeviceInfo(attach_.device), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(AttachedDeviceTest, UnplugCancelsWhatTheDriverLeftQueuedAndTheGoneDeviceAnswers5) {
    CompletionLog log;
    CompletionLog::Slot slot{&log, 0};
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER left = IssueIn(buffer.data(), kReportSize, &slot);
    ASSERT_TRUE(Send({1, 2}));  // taken by the transfer
    const USB_TRANSFER queued = IssueIn(buffer.data(), kReportSize, nullptr);

    plugged_->Unplug();

    EXPECT_EQ(Notifies().size(), 1u);
    EXPECT_EQ(log.order(), std::vector{0});
    EXPECT_EQ(StatusOf(left).error, USB_NO_ERROR);
    EXPECT_EQ(StatusOf(queued).error, USB_CANCELED_ERROR);

    const USB_TRANSFER afterwards = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_NE(afterwards, nullptr);  // the pipe is still open
    EXPECT_EQ(StatusOf(afterwards).error, USB_DEVICE_NOT_RESPONDING_ERROR);
    BYTE data[8] = {};
    const USB_DEVICE_REQUEST fetch{kVendorIn, kStoreRequest, 0, 0, sizeof(data)};
    const USB_TRANSFER vendor = funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr,
                                                              USB_IN_TRANSFER, &fetch, data, 0);
    EXPECT_EQ(StatusOf(vendor).error, USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[0].Descriptor),
              nullptr);
    for (auto t : {left, queued, afterwards, vendor}) {
        funcs_->lpCloseTransfer(t);
    }
}

TEST_F(AttachedDeviceTest, PortRefusesReportsOnceTheDeviceIsGone) {
    ce::host::UsbPort* port = device_->port();
    bool acceptedDuringNotify = true;
    {
        std::lock_guard lock(DriverRecord().mutex);
        DriverRecord().onClose = [&] {
            acceptedDuringNotify = port->SendInterrupt(kInEndpoint, std::vector<BYTE>{1});
        };
    }

    plugged_->Unplug();

    EXPECT_FALSE(acceptedDuringNotify);
}

TEST_F(AttachedDeviceTest, NotificationRoutineCanBeUnregistered) {
    ASSERT_FALSE(Notifies().size());
    // The test driver registered its routine with its record as parameter; a routine that was
    // never registered is refused.
    EXPECT_FALSE(funcs_->lpUnRegisterNotificationRoutine(
        attach_.device, [](LPVOID, DWORD, LPDWORD*, LPDWORD*, LPDWORD*, LPDWORD*) { return TRUE; },
        nullptr));

    EXPECT_FALSE(funcs_->lpRegisterNotificationRoutine(attach_.device, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace usbtest
