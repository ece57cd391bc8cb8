// Vendor (control) transfers on the default pipe: synchronous without a completion routine,
// asynchronous with one.
#include "ce/kernel.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

USB_DEVICE_REQUEST Request(BYTE requestType, BYTE request, WORD length) {
    return USB_DEVICE_REQUEST{requestType, request, 0, 0, length};
}

TEST_F(AttachedDeviceTest, VendorTransferWithoutRoutineIsCompleteWhenTheCallReturns) {
    BYTE sent[] = {9, 8, 7};
    const auto store = Request(kVendorOut, kStoreRequest, sizeof(sent));
    const USB_TRANSFER out = funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr,
                                                           USB_SHORT_TRANSFER_OK, &store, sent, 0);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(funcs_->lpIsTransferComplete(out));
    EXPECT_EQ(StatusOf(out).bytes, 3u);

    BYTE received[64] = {};
    const auto fetch = Request(kVendorIn, kStoreRequest, sizeof(received));
    const USB_TRANSFER in =
        funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr,
                                      USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK, &fetch, received, 0);
    ASSERT_NE(in, nullptr);
    EXPECT_TRUE(funcs_->lpIsTransferComplete(in));
    const Status status = StatusOf(in);
    EXPECT_EQ(status.error, USB_NO_ERROR);
    EXPECT_EQ(status.bytes, 3u);
    EXPECT_EQ(received[0], 9);
    EXPECT_EQ(received[2], 7);
    EXPECT_EQ(received[3], 0);
    funcs_->lpCloseTransfer(out);
    funcs_->lpCloseTransfer(in);
}

TEST_F(AttachedDeviceTest, VendorTransferWithRoutineCompletesOnAStackThread) {
    CompletionLog log;
    CompletionLog::Slot slot{&log, 0};
    BYTE received[64] = {};
    const auto fetch = Request(kVendorIn, kStoreRequest, sizeof(received));

    const USB_TRANSFER in =
        funcs_->lpIssueVendorTransfer(attach_.device, &CompletionLog::Routine, &slot,
                                      USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK, &fetch, received, 0);

    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_NE(log.threads()[0], std::this_thread::get_id());
    EXPECT_NE(device_->controlThreads().back(), std::this_thread::get_id());
    EXPECT_EQ(StatusOf(in).error, USB_NO_ERROR);
    funcs_->lpCloseTransfer(in);
}

TEST_F(AttachedDeviceTest, RequestTheDeviceDoesNotServeIsStalled) {
    BYTE buffer[8] = {};
    const auto unknown = Request(kVendorIn, 0x55, sizeof(buffer));
    const USB_TRANSFER transfer = funcs_->lpIssueVendorTransfer(
        attach_.device, nullptr, nullptr, USB_IN_TRANSFER, &unknown, buffer, 0);

    const Status status = StatusOf(transfer);
    EXPECT_EQ(status.error, USB_STALL_ERROR);
    EXPECT_EQ(status.bytes, 0u);
    funcs_->lpCloseTransfer(transfer);
}

TEST_F(AttachedDeviceTest, VendorTransferRefusesAMissingSetupOrDataBuffer) {
    EXPECT_EQ(
        funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr, 0, nullptr, nullptr, 0),
        nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const auto withData = Request(kVendorOut, kStoreRequest, 4);
    EXPECT_EQ(
        funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr, 0, &withData, nullptr, 0),
        nullptr);

    const auto noData = Request(kVendorOut, kStoreRequest, 0);
    const USB_TRANSFER empty =
        funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr, 0, &noData, nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(StatusOf(empty).error, USB_NO_ERROR);
    funcs_->lpCloseTransfer(empty);
}

TEST_F(AttachedDeviceTest, SilentDeviceAnswersVendorTransfersWithError5) {
    device_->port()->SetResponding(false);
    BYTE buffer[64] = {};
    const auto fetch = Request(kVendorIn, kStoreRequest, sizeof(buffer));

    const USB_TRANSFER in = funcs_->lpIssueVendorTransfer(attach_.device, nullptr, nullptr,
                                                          USB_IN_TRANSFER, &fetch, buffer, 0);

    EXPECT_EQ(StatusOf(in).error, USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_TRUE(device_->controlThreads().empty());  // the request never reached the device
    funcs_->lpCloseTransfer(in);
}

}  // namespace
}  // namespace usbtest
