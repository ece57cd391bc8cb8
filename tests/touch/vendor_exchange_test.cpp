// One vendor command exchange: the two control transfers byte for byte, which reply it takes,
// retries, what a silent controller costs, and exchanges that overlap on one controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "support/scripted_usb.h"
#include "support/touch_device.h"
#include "touch/sensor_init.h"
#include "touch/vendor_exchange.h"

namespace ots::test {
namespace {

using ::testing::ElementsAreArray;

constexpr DWORD kFailed = 0xC0000001u;
using Response = std::array<BYTE, 64>;

const Bytes kOpenCamera0 = {0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
const Bytes kReadConfig = {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};

class VendorExchangeTest : public ::testing::Test {
  protected:
    VendorExchangeTest() { device.Plug(usb); }
    void TearDown() override { usb.ExpectAllConsumed(); }

    DWORD Send(const Bytes& command) {
        response.fill(0x5A);
        return SendVendorCommand(&device.ctx(), command.data(), static_cast<DWORD>(command.size()),
                                 response.data());
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    Response response{};
};

TEST_F(VendorExchangeTest, OnlyAWholeReplyToItsOwnCommandIsTakenWithinFiveAttempts) {
    const Bytes good = BlockResponse(0x12, 0x30, 0x01, PatternBlock(2));
    Bytes noSync = good;
    noSync[0] = 0xAB;
    const Bytes otherIndex = BlockResponse(0x12, 0x30, 0x00, PatternBlock(7));
    const Bytes cut(good.begin(), good.begin() + 5);
    const Bytes stall{}, silent{0};  // markers: a stalled command, an unanswered one
    const struct {
        const char* name;
        std::vector<Bytes> attempts;  // what the controller does on each attempt
        bool accepted;
        double minMs = 0;
    } rows[] = {
        {"class 0x10", {BlockResponse(0x10, 0x30, 0x01, PatternBlock(1))}, true},
        {"class 0x1F", {BlockResponse(0x1F, 0x30, 0x01, PatternBlock(1))}, true},
        {"another index, then a cut reply, are retried", {otherIndex, cut, good}, true},
        {"a stalled command skips its response", {stall, stall, stall, stall, good}, true},
        {"class 0x21 five times", std::vector<Bytes>(5, BlockResponse(0x21, 0x30, 1, {})), false},
        {"no sync, then class 0",
         {noSync, noSync, noSync, noSync, BlockResponse(0, 0x30, 1, {})},
         false},
        // Five full attempts: 20 ms before the command and 40 before the response each.
        {"a silent controller", std::vector<Bytes>(5, silent), false, 5 * (20 + 40)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const Bytes& attempt : row.attempts) {
            if (attempt == stall) {
                usb.ExpectCommandStalled(kReadConfig);
            } else if (attempt == silent) {
                usb.ExpectCommandUnanswered(kReadConfig);
            } else {
                usb.ExpectCommand(kReadConfig, attempt);
            }
        }
        const double start = ce::host::PlatformNowMs();
        EXPECT_EQ(Send(kReadConfig), row.accepted ? 0u : kFailed);
        EXPECT_GE(ce::host::PlatformNowMs() - start, row.minMs);
        if (row.accepted) {
            EXPECT_THAT(response, ElementsAreArray(row.attempts.back()));
        } else {
            EXPECT_THAT(response, testing::Each(0x5A));
        }
        usb.ExpectAllConsumed();
    }
}

TEST_F(VendorExchangeTest, CommandsTooShortForAnIndexOrTooLongForWLengthAreRefused) {
    EXPECT_EQ(Send(Bytes(kOpenCamera0.begin(), kOpenCamera0.begin() + 4)), kFailed);
    EXPECT_EQ(Send(Bytes(65536, 0xAA)), kFailed);
    EXPECT_EQ(SendVendorCommand(nullptr, kReadConfig.data(), 6, response.data()), kFailed);
    EXPECT_EQ(SendVendorCommand(&device.ctx(), kReadConfig.data(), 6, nullptr), kFailed);
    EXPECT_EQ(usb.TransfersSeen(), 0u);
    EXPECT_THAT(response, testing::Each(0x5A));

    // Five bytes carry the index: the command goes out as given.
    const Bytes indexOnly(kReadConfig.begin(), kReadConfig.begin() + 5);
    usb.ExpectCommand(indexOnly, BlockResponse(0x12, 0x30, 0x01, {}));
    EXPECT_EQ(Send(indexOnly), 0u);
}

// Answers the last command it received, as a controller does: two exchanges that overlap on
// the bus take each other's replies.
class LastCommandController {
  public:
    LastCommandController() {
        funcs_.dwCount = sizeof(USB_FUNCS);
        funcs_.lpIssueVendorTransfer = &Issue;
        funcs_.lpGetTransferStatus = &Status;
        funcs_.lpCloseTransfer = &Close;
    }
    LPCUSB_FUNCS funcs() const { return &funcs_; }
    USB_HANDLE handle() { return reinterpret_cast<USB_HANDLE>(this); }

  private:
    static USB_TRANSFER Issue(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                              LPCUSB_DEVICE_REQUEST request, LPVOID buffer, ULONG) {
        auto* self = reinterpret_cast<LastCommandController*>(hDevice);
        auto* bytes = static_cast<BYTE*>(buffer);
        const std::lock_guard lock(self->mutex_);
        if ((request->bmRequestType & 0x80) == 0) {
            self->last_.assign(bytes, bytes + request->wLength);
        } else if (self->last_.size() > 4) {
            const Bytes& last = self->last_;
            const Bytes reply = BlockResponse(0x12, last[2], last[4], PatternBlock(last[2]));
            std::copy(reply.begin(), reply.end(), bytes);
        }
        return reinterpret_cast<USB_TRANSFER>(new DWORD(request->wLength));
    }
    static BOOL Status(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
        *bytes = *reinterpret_cast<DWORD*>(hTransfer);
        *usbError = USB_NO_ERROR;
        return TRUE;
    }
    static BOOL Close(USB_TRANSFER hTransfer) {
        delete reinterpret_cast<DWORD*>(hTransfer);
        return TRUE;
    }

    USB_FUNCS funcs_{};
    std::mutex mutex_;
    Bytes last_;
};

TEST(VendorReplyTest, OverlappingExchangesEachGetTheirOwnReply) {
    const ce::host::ScopedTimeScale fast{0.05};
    TouchDevice device = TouchDevice::Camera();
    LastCommandController controller;
    device.Plug(controller);
    // The device configuration and the y calibration share index 1.
    const auto readBlocks = [&device](BYTE code, int* foreign) {
        for (int i = 0; i < 8; ++i) {
            Response response{};
            ExchangeVendorCommand(&device.ctx(), 2, code, 1, nullptr, 0, response.data());
            *foreign += response[2] != code ? 1 : 0;
        }
    };
    int foreignConfig = 0;
    int foreignCalib = 0;
    std::thread other(readBlocks, BYTE{0x14}, &foreignCalib);
    readBlocks(0x30, &foreignConfig);
    other.join();
    EXPECT_EQ(foreignConfig, 0);
    EXPECT_EQ(foreignCalib, 0);
}

}  // namespace
}  // namespace ots::test
