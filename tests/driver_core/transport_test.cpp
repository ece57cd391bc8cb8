// The control-transfer routines and their log lines, which field diagnostics rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "core/transport.h"
#include "support/fake_usb.h"

namespace {

using ce::host::DebugCapture;
using ce::host::DebugChannel;

constexpr USB_DEVICE_REQUEST kInRequest = {0xC0, 0, 0, 0, 64};
constexpr USB_DEVICE_REQUEST kOutRequest = {0x40, 0, 0, 0, 7};

std::string Hex(const void* handle) {
    char text[16];
    std::snprintf(text, sizeof(text), "%x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(handle)));
    return text;
}

class VendorTransferTest : public ::testing::Test {
  protected:
    std::vector<std::string> Lines() const { return capture_.Lines(DebugChannel::Kernel); }

    DWORD IssueSync(LPCUSB_DEVICE_REQUEST request, DWORD flags) {
        return IssueVendorTransfer(usb_.Funcs(), usb_.Device(), nullptr, nullptr, flags, request,
                                   buffer_, 0, &bytes_, 1000, &usbError_);
    }

    ots::test::FakeUsb usb_;
    DebugCapture capture_;
    BYTE buffer_[64] = {};
    DWORD bytes_ = 0xDEAD;
    DWORD usbError_ = 0xDEAD;
};

TEST_F(VendorTransferTest, MissingArgumentsAreRefusedWithError87) {
    SetLastError(0);
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), usb_.Device(), nullptr, nullptr, 0, nullptr,
                                  buffer_, 0, nullptr, 1000, nullptr),
              87u);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "<common><usbclient><IssueVendorTransfer>ERROR_INVALID_PARAMETER.",
                           "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:-1, "
                           "Win32 Err:87, UsbError:0xffffffff)"}));
    EXPECT_TRUE(usb_.VendorTransfers().empty());
}

TEST_F(VendorTransferTest, NullFunctionTableOrDeviceIsRefused) {
    EXPECT_EQ(IssueVendorTransfer(nullptr, usb_.Device(), nullptr, nullptr, 0, &kOutRequest,
                                  buffer_, 0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), nullptr, nullptr, nullptr, 0, &kOutRequest, buffer_,
                                  0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_TRUE(usb_.VendorTransfers().empty());
}

TEST_F(VendorTransferTest, TransferThatCannotBeIssuedIsAGeneralFailure) {
    usb_.vendorIssueFails = true;
    EXPECT_EQ(IssueSync(&kOutRequest, USB_SHORT_TRANSFER_OK), 31u);
    EXPECT_EQ(GetLastError(), 31u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "<common><usbclient><IssueVendorTransfer>ERROR(3, 0x1f) ***",
                           "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
                           "Win32 Err:31, UsbError:0x0)"}));
}

TEST_F(VendorTransferTest, SynchronousSuccessReadsStatusClosesAndLogsNothing) {
    usb_.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return ots::test::VendorAnswer{USB_NO_ERROR, std::vector<BYTE>(64, 0xAA)};
    };
    EXPECT_EQ(IssueSync(&kInRequest, USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK), 0u);
    EXPECT_EQ(bytes_, 64u);
    EXPECT_EQ(usbError_, 0u);
    EXPECT_EQ(buffer_[63], 0xAA);
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(VendorTransferTest, UsbErrorBecomesGeneralFailure) {
    usb_.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return ots::test::VendorAnswer{USB_STALL_ERROR, {}};
    };
    EXPECT_EQ(IssueSync(&kOutRequest, USB_SHORT_TRANSFER_OK), 31u);
    EXPECT_EQ(usbError_, USB_STALL_ERROR);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "<common><usbclient><GetTransferStatus>(BytesTransferred:7, "
                           "UsbError:0x4)",
                           "<common><usbclient><IssueVendorTransfer>ERROR_GEN_FAILURE.",
                           "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:7, "
                           "Win32 Err:31, UsbError:0x4)"}));
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
}

TEST_F(VendorTransferTest, UnreadableStatusCountsAsUsbError0x101) {
    usb_.statusFails = true;
    EXPECT_EQ(IssueSync(&kOutRequest, USB_SHORT_TRANSFER_OK), 31u);
    EXPECT_EQ(usbError_, 0x101u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "<common><usbclient><GetTransferStatus>ERROR:6 ***",
                           "<common><usbclient><IssueVendorTransfer>ERROR_GEN_FAILURE.",
                           "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
                           "Win32 Err:31, UsbError:0x101)"}));
}

TEST_F(VendorTransferTest, AsynchronousSignalledTransferIsWaitedFor) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);  // stale signal is reset first
    usb_.vendorAsyncCompletes = true;
    EXPECT_EQ(
        IssueVendorTransfer(usb_.Funcs(), usb_.Device(), TransferCompleteNotify, event,
                            USB_IN_TRANSFER, &kInRequest, buffer_, 0, &bytes_, 1000, &usbError_),
        0u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "<common><usbclient><IssueVendorTransfer>WAIT_OBJECT_0:call "
                           "GetTransferStatus."}));
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST_F(VendorTransferTest, AsynchronousTimeoutReportsDirectionAndHandle) {
    ce::host::ScopedTimeScale fast(0.01);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    usb_.vendorAsyncCompletes = false;
    EXPECT_EQ(
        IssueVendorTransfer(usb_.Funcs(), usb_.Device(), TransferCompleteNotify, event,
                            USB_IN_TRANSFER, &kInRequest, buffer_, 0, &bytes_, 100, &usbError_),
        1460u);
    ASSERT_EQ(usb_.VendorTransfers().size(), 1u);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<common><usbclient><IssueVendorTransfer>IN:WAIT_TIMEOUT on hT:0x" +
                            Hex(usb_.LastVendorTransfer()));
    EXPECT_EQ(lines[1],
              "<common><usbclient><GetTransferStatus>(BytesTransferred:0, "
              "UsbError:0x102)");
    EXPECT_EQ(lines[2],
              "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
              "Win32 Err:1460, UsbError:0x102)");
    EXPECT_EQ(GetLastError(), 1460u);
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
    CloseHandle(event);
}

TEST_F(VendorTransferTest, FailedWaitIsAnUnhandledWaitReason) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(event);  // waiting on it fails
    EXPECT_EQ(
        IssueVendorTransfer(usb_.Funcs(), usb_.Device(), TransferCompleteNotify, event,
                            USB_IN_TRANSFER, &kInRequest, buffer_, 0, &bytes_, 1000, &usbError_),
        31u);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "<common><usbclient><IssueVendorTransfer>Unhandled WaitReason:-1 ***");
    EXPECT_EQ(lines[1],
              "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
              "Win32 Err:31, UsbError:0x0)");
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
}

TEST_F(VendorTransferTest, ZeroTimeoutHandsTheTransferToTheCaller) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), usb_.Device(), TransferCompleteNotify, event,
                                  USB_IN_TRANSFER, &kInRequest, buffer_, 0, &bytes_, 0, &usbError_),
              0u);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"<common><usbclient><IssueVendorTransfer>return dwErr."}));
    ASSERT_EQ(usb_.VendorTransfers().size(), 1u);
    EXPECT_EQ(usb_.OpenTransferCount(), 1u) << "the caller owns the transfer";
    CloseHandle(event);
}

TEST(TransferStatusTest, StatusWithNullOutputsIsStillRead) {
    ots::test::FakeUsb usb;
    usb.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return ots::test::VendorAnswer{USB_CRC_ERROR, {}};
    };
    BYTE buffer[8] = {};
    const USB_TRANSFER transfer = usb.Funcs()->lpIssueVendorTransfer(usb.Device(), nullptr, nullptr,
                                                                     0, &kOutRequest, buffer, 0);
    DebugCapture capture;
    DWORD usbError = 0;
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, &usbError));
    EXPECT_EQ(usbError, USB_CRC_ERROR);
    EXPECT_EQ(capture.Lines(DebugChannel::Kernel),
              (std::vector<std::string>{
                  "<common><usbclient><GetTransferStatus>(BytesTransferred:-1, UsbError:0x1)"}));
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, nullptr));
}

TEST(ResetPipeIfHaltedTest, ResetsOnlyAHaltedPipe) {
    ots::test::FakeUsb usb;
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 0);

    usb.pipeHalted = true;
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 1);
    EXPECT_FALSE(usb.pipeHalted.load());
}

TEST(ResetPipeIfHaltedTest, FalseOnlyWhenTheResetFails) {
    ots::test::FakeUsb usb;
    usb.pipeHalted = true;
    usb.resetPipeFails = true;
    EXPECT_FALSE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));

    usb.isPipeHaltedFails = true;  // the question fails: nothing is reset
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 1);
}

TEST(EventRoutinesTest, TransferCompleteNotifySignalsItsEvent) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(TransferCompleteNotify(event), 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(event);
    EXPECT_EQ(TransferCompleteNotify(event), 6u);

    SetLastError(0);
    EXPECT_EQ(TransferCompleteNotify(nullptr), 6u);
    EXPECT_EQ(GetLastError(), 6u);
}

}  // namespace
