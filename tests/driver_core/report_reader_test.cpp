// The report reader's ring limits and the control-transfer routines, driven through the fake
// function table where the stack fails. The reader at work is driven end to end (integration).
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
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
#include "support/golden.h"

namespace ots::test {
namespace {

// Transfers the stack completes at once. The third slot of four cannot start: the reader serves
// a ring of two and never waits on the slot that did not start, until a resubmission fails.
TEST_F(DriverCoreTest, SlotsThatCannotStartShrinkTheRingClosingEndsItAndItFitsThirtyTwoBits) {
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
    // Two buffers of 2 GiB and their slots do not fit the ring's 32-bit block: nothing is taken.
    pDevice->dwMaxPacketSize = 0x80000000u;
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    ReportReaderThread(CookieToParameter(pDevice->dwCookie));
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations);
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

constexpr USB_DEVICE_REQUEST kInRequest = {0xC0, 0, 0, 0, 64};
constexpr USB_DEVICE_REQUEST kOutRequest = {0x40, 0, 0, 0, 7};

class VendorTransferTest : public ::testing::Test {
  protected:
    // Runs one call and writes to the transcript what it returned, left behind and logged.
    template <class F>
    void Run(const char* step, F call) {
        capture_.Clear();
        bytes_ = usbError_ = 0xDEAD;
        SetLastError(0);
        const DWORD result = call();
        trace_ << "== " << step << ": " << result << ", last error " << GetLastError() << ", bytes "
               << bytes_ << ", USB error 0x" << std::hex << usbError_ << ", buffer end 0x"
               << int{buffer_[63]} << std::dec << ", open " << usb_.OpenTransferCount() << "\n";
        for (const std::string& line : capture_.Lines(ce::host::DebugChannel::Kernel)) {
            trace_ << line << "\n";
        }
    }
    DWORD Issue(const USB_DEVICE_REQUEST* request, HANDLE event = nullptr, DWORD timeout = 1000) {
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
    std::ostringstream trace_;
    BYTE buffer_[64] = {};
    DWORD bytes_ = 0;
    DWORD usbError_ = 0;
};

// The control-transfer routines where the stack fails, with the log lines field diagnostics rely
// on: every transfer is closed unless handed to the caller, a stale completion signal is reset
// before the wait, and a pipe is reset only when halted (false only when the reset fails).
// Regenerate: OTS_REGOLDEN=1 test_driver_core --gtest_filter=VendorTransferTest.*
TEST_F(VendorTransferTest, OutcomesAndTheirLogLines) {
    usb_.Fail(Call::IssueVendor);
    Run("not issued", [&] { return Issue(&kOutRequest); });
    usb_.Fail(Call::IssueVendor, false);
    Answer(USB_STALL_ERROR);
    Run("USB error", [&] { return Issue(&kOutRequest); });
    usb_.Fail(Call::Status);
    Run("unreadable status", [&] { return Issue(&kOutRequest); });
    usb_.Fail(Call::Status, false);
    Answer(USB_NO_ERROR, std::vector<BYTE>(64, 0xAA));
    Run("read", [&] { return Issue(&kInRequest); });
    Run("no request", [&] {
        return IssueVendorTransfer(usb_.Funcs(), usb_.Device(), nullptr, nullptr, 0, nullptr,
                                   buffer_, 0, nullptr, 1000, nullptr);
    });
    Run("no function table", [&] {
        return IssueVendorTransfer(nullptr, usb_.Device(), nullptr, nullptr, 0, &kOutRequest,
                                   buffer_, 0, &bytes_, 1000, &usbError_);
    });
    Run("no device", [&] {
        return IssueVendorTransfer(usb_.Funcs(), nullptr, nullptr, nullptr, 0, &kOutRequest,
                                   buffer_, 0, &bytes_, 1000, &usbError_);
    });

    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Run("asynchronous", [&] { return Issue(&kInRequest, event); });
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ce::host::ScopedTimeScale fast(0.01);
    usb_.vendorAsyncCompletes = false;
    SetEvent(event);
    Run("never completes, after a stale signal", [&] { return Issue(&kInRequest, event, 100); });
    Run("zero timeout", [&] { return Issue(&kInRequest, event, 0); });
    CloseHandle(event);
    Run("event closed", [&] { return Issue(&kInRequest, event); });

    Answer(USB_CRC_ERROR);
    const USB_TRANSFER transfer = usb_.Funcs()->lpIssueVendorTransfer(
        usb_.Device(), nullptr, nullptr, 0, &kOutRequest, buffer_, 0);
    Run("status without bytes",
        [&] { return GetTransferStatus(usb_.Funcs(), transfer, nullptr, &usbError_); });
    Run("status without outputs",
        [&] { return GetTransferStatus(usb_.Funcs(), transfer, nullptr, nullptr); });

    // halted, reset fails, halt question fails
    const bool rows[][3] = {
        {false, false, false}, {true, false, false}, {true, true, false}, {true, true, true}};
    for (const auto& row : rows) {
        usb_.pipeHalted = row[0];
        usb_.Fail(Call::Reset, row[1]);
        usb_.Fail(Call::IsHalted, row[2]);
        trace_ << "reset " << row[0] << row[1] << row[2] << ": "
               << ResetPipeIfHalted(usb_.Funcs(), usb_.Pipe()) << ", resets "
               << usb_.Calls(Call::Reset) << "\n";
    }
    ExpectGolden(trace_.str(), OTS_GOLDEN_DIR "vendor_transfers.txt");
}

}  // namespace
}  // namespace ots::test
