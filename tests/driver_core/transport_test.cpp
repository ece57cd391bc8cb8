// The control-transfer routines and their log lines, which field diagnostics rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "core/transport.h"
#include "support/fake_usb.h"

namespace ots::test {
namespace {

using ce::host::DebugCapture;
using ce::host::DebugChannel;
using Lines = std::vector<std::string>;

constexpr USB_DEVICE_REQUEST kInRequest = {0xC0, 0, 0, 0, 64};
constexpr USB_DEVICE_REQUEST kOutRequest = {0x40, 0, 0, 0, 7};
const std::string kTag = "<common><usbclient>";

class VendorTransferTest : public ::testing::Test {
  public:  // the table rows arrange the fixture
    Lines Logged() const { return capture_.Lines(DebugChannel::Kernel); }
    DWORD Issue(LPCUSB_DEVICE_REQUEST request, DWORD flags, HANDLE event, DWORD timeout = 1000) {
        return IssueVendorTransfer(usb_.Funcs(), usb_.Device(),
                                   event ? TransferCompleteNotify : nullptr, event, flags, request,
                                   buffer_, 0, &bytes_, timeout, &usbError_);
    }
    void Answer(DWORD usbError, std::vector<BYTE> data = {}) {
        usb_.vendor = [=](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
            return VendorAnswer{usbError, data};
        };
    }

    FakeUsb usb_;
    DebugCapture capture_;
    BYTE buffer_[64] = {};
    DWORD bytes_ = 0xDEAD;
    DWORD usbError_ = 0xDEAD;
};

TEST_F(VendorTransferTest, SynchronousOutcomesAndTheirLogLines) {
    const std::string kFailed = kTag + "<IssueVendorTransfer> ERROR(5, BytesTransferred:";
    const struct {
        const char* name;
        std::function<void(VendorTransferTest&)> arrange;
        bool in;
        DWORD result;
        DWORD usbError;
        Lines lines;
    } rows[] = {
        {"not issued",
         [](auto& t) { t.usb_.vendorIssueFails = true; },
         false,
         31,
         0,
         {kTag + "<IssueVendorTransfer>ERROR(3, 0x1f) ***",
          kFailed + "0, Win32 Err:31, UsbError:0x0)"}},
        {"USB error",
         [](auto& t) { t.Answer(USB_STALL_ERROR); },
         false,
         31,
         USB_STALL_ERROR,
         {kTag + "<GetTransferStatus>(BytesTransferred:7, UsbError:0x4)",
          kTag + "<IssueVendorTransfer>ERROR_GEN_FAILURE.",
          kFailed + "7, Win32 Err:31, UsbError:0x4)"}},
        {"unreadable status",
         [](auto& t) { t.usb_.statusFails = true; },
         false,
         31,
         0x101,
         {kTag + "<GetTransferStatus>ERROR:6 ***", kTag + "<IssueVendorTransfer>ERROR_GEN_FAILURE.",
          kFailed + "0, Win32 Err:31, UsbError:0x101)"}},
        {"success",
         [](auto& t) { t.Answer(USB_NO_ERROR, std::vector<BYTE>(64, 0xAA)); },
         true,
         0,
         0,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        usb_.vendor = nullptr;
        capture_.Clear();
        row.arrange(*this);
        bytes_ = usbError_ = 0xDEAD;
        SetLastError(0);
        EXPECT_EQ(Issue(row.in ? &kInRequest : &kOutRequest,
                        (row.in ? USB_IN_TRANSFER : 0) | USB_SHORT_TRANSFER_OK, nullptr),
                  row.result);
        EXPECT_EQ(GetLastError(), row.result);
        EXPECT_EQ(usbError_, row.usbError);
        EXPECT_EQ(Logged(), row.lines);
        EXPECT_EQ(usb_.OpenTransferCount(), 0u) << "every transfer is closed";
        usb_.vendorIssueFails = false;
        usb_.statusFails = false;
    }
    EXPECT_EQ(bytes_, 64u);
    EXPECT_EQ(buffer_[63], 0xAA);
}

TEST_F(VendorTransferTest, MissingArgumentsAreRefusedWithError87) {
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), usb_.Device(), nullptr, nullptr, 0, nullptr,
                                  buffer_, 0, nullptr, 1000, nullptr),
              87u);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(Logged(), (Lines{kTag + "<IssueVendorTransfer>ERROR_INVALID_PARAMETER.",
                               kTag + "<IssueVendorTransfer> ERROR(5, BytesTransferred:-1, "
                                      "Win32 Err:87, UsbError:0xffffffff)"}));
    EXPECT_EQ(IssueVendorTransfer(nullptr, usb_.Device(), nullptr, nullptr, 0, &kOutRequest,
                                  buffer_, 0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), nullptr, nullptr, nullptr, 0, &kOutRequest, buffer_,
                                  0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_TRUE(usb_.VendorTransfers().empty());
}

TEST_F(VendorTransferTest, AsynchronousTransferIsWaitedForUntilItsTimeout) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);  // stale signal is reset first
    EXPECT_EQ(Issue(&kInRequest, USB_IN_TRANSFER, event), 0u);
    EXPECT_EQ(Logged(),
              (Lines{kTag + "<IssueVendorTransfer>WAIT_OBJECT_0:call GetTransferStatus."}));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ce::host::ScopedTimeScale fast(0.01);
    usb_.vendorAsyncCompletes = false;
    capture_.Clear();
    EXPECT_EQ(Issue(&kInRequest, USB_IN_TRANSFER, event, 100), 1460u);
    EXPECT_EQ(GetLastError(), 1460u);
    char handle[32];
    std::snprintf(
        handle, sizeof(handle), "%x",
        static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(usb_.LastVendorTransfer())));
    EXPECT_EQ(Logged(), (Lines{kTag + "<IssueVendorTransfer>IN:WAIT_TIMEOUT on hT:0x" + handle,
                               kTag + "<GetTransferStatus>(BytesTransferred:0, UsbError:0x102)",
                               kTag + "<IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
                                      "Win32 Err:1460, UsbError:0x102)"}));
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);

    capture_.Clear();  // a zero timeout hands the transfer to the caller
    EXPECT_EQ(Issue(&kInRequest, USB_IN_TRANSFER, event, 0), 0u);
    EXPECT_EQ(Logged(), (Lines{kTag + "<IssueVendorTransfer>return dwErr."}));
    EXPECT_EQ(usb_.OpenTransferCount(), 1u);

    CloseHandle(event);  // waiting on it fails
    capture_.Clear();
    EXPECT_EQ(Issue(&kInRequest, USB_IN_TRANSFER, event), 31u);
    EXPECT_EQ(Logged(), (Lines{kTag + "<IssueVendorTransfer>Unhandled WaitReason:-1 ***",
                               kTag + "<IssueVendorTransfer> ERROR(5, BytesTransferred:0, "
                                      "Win32 Err:31, UsbError:0x0)"}));
    EXPECT_EQ(usb_.OpenTransferCount(), 1u);
}

TEST(TransportRoutinesTest, StatusWithNullOutputsAndResetOnlyWhenHalted) {
    FakeUsb usb;
    usb.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return VendorAnswer{USB_CRC_ERROR, {}};
    };
    BYTE buffer[8] = {};
    const USB_TRANSFER transfer = usb.Funcs()->lpIssueVendorTransfer(usb.Device(), nullptr, nullptr,
                                                                     0, &kOutRequest, buffer, 0);
    DebugCapture capture;
    DWORD usbError = 0;
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, &usbError));
    EXPECT_EQ(usbError, USB_CRC_ERROR);
    EXPECT_EQ(capture.Lines(DebugChannel::Kernel),
              (Lines{kTag + "<GetTransferStatus>(BytesTransferred:-1, UsbError:0x1)"}));
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, nullptr));

    // A pipe is reset only when halted; false only when the reset fails.
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 0);
    usb.pipeHalted = true;
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 1);
    usb.pipeHalted = true;
    usb.resetPipeFails = true;
    EXPECT_FALSE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    usb.isPipeHaltedFails = true;  // the question fails: nothing is reset
    EXPECT_TRUE(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()));
    EXPECT_EQ(usb.resetPipeCalls.load(), 2);
}

}  // namespace
}  // namespace ots::test
