// The report reader's ring limits, and the control-transfer routines with their log lines,
// which field diagnostics rely on, driven through the fake function table where the stack
// fails. The reader at work is driven end to end (integration).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "core/context_table.h"
#include "core/transport.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"

namespace ots::test {
namespace {

// Two buffers of 2 GiB and their slots do not fit the ring's 32-bit block: nothing is taken.
TEST_F(DriverCoreTest, RingThatDoesNotFitThirtyTwoBitsIsNeverAllocated) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    pDevice->dwMaxPacketSize = 0x80000000u;
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    ReportReaderThread(CookieToParameter(pDevice->dwCookie));
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations);
}

// Transfers the stack completes at once. The third slot of four cannot start: the reader serves
// a ring of two and never waits on the slot that did not start, until a resubmission fails.
TEST_F(DriverCoreTest, SlotsThatCannotStartShrinkTheRingAndClosingEndsIt) {
    const VendorAnswer report{USB_NO_ERROR, {0, 0x01, 100, 0, 10, 0, 0, 0}};
    usb_.interrupts = {report, report, std::nullopt, report, report};
    gQueuedTransferCount = 4;
    ce::host::MouseEventRecorder recorder;
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ReportReaderThread(CookieToParameter(pDevice->dwCookie));
    EXPECT_EQ(recorder.Count(), 3u) << "slot 0, slot 1, slot 0";
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
    // Closing: the reader ends after the report it serves, its resubmitted transfer closed.
    usb_.interrupts = {report, report, report};
    gQueuedTransferCount = 2;
    pDevice->Flags.store(DEVICE_FLAG_CLOSING);
    ReportReaderThread(CookieToParameter(pDevice->dwCookie));
    EXPECT_EQ(recorder.Count(), 4u);
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);
}

// The queued-transfer count comes from the client driver key, only as a REG_DWORD.
TEST_F(DriverCoreTest, QueuedTransferCountIsAClampedDwordOrLeftAsItWas) {
    const struct {
        DWORD stored;
        BYTE expected;
    } cases[] = {{0, 1}, {1, 1}, {2, 2}, {63, 63}, {64, 64}, {65, 64}, {0x10000, 64}};
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

using Lines = std::vector<std::string>;

constexpr USB_DEVICE_REQUEST kInRequest = {0xC0, 0, 0, 0, 64};
constexpr USB_DEVICE_REQUEST kOutRequest = {0x40, 0, 0, 0, 7};
const std::string kTag = "<common><usbclient>";
const std::string kIssue = kTag + "<IssueVendorTransfer>";
const std::string kStatus = kTag + "<GetTransferStatus>";
const std::string kFailed = kIssue + " ERROR(5, BytesTransferred:";

class VendorTransferTest : public ::testing::Test {
  public:  // the table rows arrange the fixture
    Lines Logged() const { return capture_.Lines(ce::host::DebugChannel::Kernel); }
    DWORD Issue(const USB_DEVICE_REQUEST* request, HANDLE event = nullptr, DWORD timeout = 1000) {
        capture_.Clear();
        bytes_ = usbError_ = 0xDEAD;
        const DWORD flags = (request->bmRequestType & 0x80) != 0 ? USB_IN_TRANSFER : 0;
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
    ce::host::DebugCapture capture_;
    BYTE buffer_[64] = {};
    DWORD bytes_ = 0;
    DWORD usbError_ = 0;
};

TEST_F(VendorTransferTest, SynchronousOutcomesAndTheirLogLines) {
    const struct {
        const char* name;
        std::function<void(VendorTransferTest&)> arrange;
        DWORD usbError;
        Lines lines;
    } rows[] = {
        // clang-format off
        {"not issued", [](auto& t) { t.usb_.Fail(Call::IssueVendor); }, 0,
         {kIssue + "ERROR(3, 0x1f) ***", kFailed + "0, Win32 Err:31, UsbError:0x0)"}},
        {"USB error", [](auto& t) { t.Answer(USB_STALL_ERROR); }, USB_STALL_ERROR,
         {kStatus + "(BytesTransferred:7, UsbError:0x4)", kIssue + "ERROR_GEN_FAILURE.",
          kFailed + "7, Win32 Err:31, UsbError:0x4)"}},
        {"unreadable status", [](auto& t) { t.usb_.Fail(Call::Status); }, 0x101,
         {kStatus + "ERROR:6 ***", kIssue + "ERROR_GEN_FAILURE.",
          kFailed + "0, Win32 Err:31, UsbError:0x101)"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.arrange(*this);
        SetLastError(0);
        EXPECT_EQ(Issue(&kOutRequest), 31u);
        EXPECT_EQ(GetLastError(), 31u);
        EXPECT_EQ(usbError_, row.usbError);
        EXPECT_EQ(Logged(), row.lines);
        EXPECT_EQ(usb_.OpenTransferCount(), 0u) << "every transfer is closed";
        usb_.Fail(Call::IssueVendor, false);
        usb_.Fail(Call::Status, false);
    }
    Answer(USB_NO_ERROR, std::vector<BYTE>(64, 0xAA));
    EXPECT_EQ(Issue(&kInRequest), 0u);
    EXPECT_TRUE(Logged().empty());
    EXPECT_EQ(bytes_, 64u);
    EXPECT_EQ(buffer_[63], 0xAA);
    // Missing arguments: refused with error 87 before anything is issued.
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), usb_.Device(), nullptr, nullptr, 0, nullptr,
                                  buffer_, 0, nullptr, 1000, nullptr),
              87u);
    EXPECT_EQ(Logged(), (Lines{kIssue + "ERROR_INVALID_PARAMETER.",
                               kFailed + "-1, Win32 Err:87, UsbError:0xffffffff)"}));
    EXPECT_EQ(IssueVendorTransfer(nullptr, usb_.Device(), nullptr, nullptr, 0, &kOutRequest,
                                  buffer_, 0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_EQ(IssueVendorTransfer(usb_.Funcs(), nullptr, nullptr, nullptr, 0, &kOutRequest, buffer_,
                                  0, &bytes_, 1000, &usbError_),
              87u);
    EXPECT_EQ(usb_.VendorTransfers().size(), 3u);
}

TEST_F(VendorTransferTest, AsynchronousTransferIsWaitedForUntilItsTimeout) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(Issue(&kInRequest, event), 0u);
    EXPECT_EQ(Logged(), (Lines{kIssue + "WAIT_OBJECT_0:call GetTransferStatus."}));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ce::host::ScopedTimeScale fast(0.01);
    usb_.vendorAsyncCompletes = false;
    SetEvent(event);  // a stale signal is reset first, or the wait would end at once
    EXPECT_EQ(Issue(&kInRequest, event, 100), 1460u);
    EXPECT_EQ(GetLastError(), 1460u);
    char handle[32];
    std::snprintf(
        handle, sizeof(handle), "%x",
        static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(usb_.VendorTransfers().back())));
    EXPECT_EQ(Logged(), (Lines{kIssue + "IN:WAIT_TIMEOUT on hT:0x" + handle,
                               kStatus + "(BytesTransferred:0, UsbError:0x102)",
                               kFailed + "0, Win32 Err:1460, UsbError:0x102)"}));
    EXPECT_EQ(usb_.OpenTransferCount(), 0u);

    // A zero timeout hands the transfer to the caller.
    EXPECT_EQ(Issue(&kInRequest, event, 0), 0u);
    EXPECT_EQ(Logged(), (Lines{kIssue + "return dwErr."}));
    EXPECT_EQ(usb_.OpenTransferCount(), 1u);

    CloseHandle(event);  // waiting on it fails
    EXPECT_EQ(Issue(&kInRequest, event), 31u);
    EXPECT_EQ(Logged(), (Lines{kIssue + "Unhandled WaitReason:-1 ***",
                               kFailed + "0, Win32 Err:31, UsbError:0x0)"}));
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
    ce::host::DebugCapture capture;
    DWORD usbError = 0;
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, &usbError));
    EXPECT_EQ(usbError, USB_CRC_ERROR);
    EXPECT_EQ(capture.Lines(ce::host::DebugChannel::Kernel),
              (Lines{kStatus + "(BytesTransferred:-1, UsbError:0x1)"}));
    EXPECT_TRUE(GetTransferStatus(usb.Funcs(), transfer, nullptr, nullptr));

    // A pipe is reset only when halted; false only when the reset fails.
    const struct {
        bool halted, resetFails, questionFails, result;
        int resets;
    } rows[] = {{false, false, false, true, 0},
                {true, false, false, true, 1},
                {true, true, false, false, 2},
                {true, true, true, true, 2}};
    // The last row: the question fails, so nothing is reset.
    for (const auto& row : rows) {
        usb.pipeHalted = row.halted;
        usb.Fail(Call::Reset, row.resetFails);
        usb.Fail(Call::IsHalted, row.questionFails);
        EXPECT_EQ(ResetPipeIfHalted(usb.Funcs(), usb.Pipe()) != FALSE, row.result);
        EXPECT_EQ(usb.Calls(Call::Reset), row.resets);
    }
}

}  // namespace
}  // namespace ots::test
