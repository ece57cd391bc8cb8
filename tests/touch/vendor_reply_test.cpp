// Which reply a vendor exchange takes: only a whole one, and only the one to its own command,
// even while another exchange runs on the same controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <thread>

#include "ce/host/clock.h"
#include "support/records.h"
#include "support/scripted_usb.h"
#include "touch/sensor_init.h"
#include "touch/vendor_exchange.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using Response = std::array<BYTE, 64>;

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
    void Plug(DEVICE_CONTEXT& device) {
        device.lpUsbFuncs = &funcs_;
        device.hUsbDevice = reinterpret_cast<USB_HANDLE>(this);
    }

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
    controller.Plug(device.ctx());
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

TEST(VendorReplyTest, AShortenedReplyIsRetriedNotReadAsABlock) {
    const ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    device.ctx().lpUsbFuncs = usb.funcs();
    device.ctx().hUsbDevice = usb.handle();
    const Bytes readConfig = {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};
    const Bytes whole = BlockResponse(0x12, 0x30, 0x01, PatternBlock(2));
    usb.ExpectCommand(readConfig, BlockResponse(0x12, 0x30, 0x00, PatternBlock(7)));
    usb.ExpectCommand(readConfig, Bytes(whole.begin(), whole.begin() + 5));
    usb.ExpectCommand(readConfig, whole);
    Response response{};
    EXPECT_EQ(SendVendorCommand(&device.ctx(), readConfig.data(), 6, response.data()), 0u);
    EXPECT_THAT(response, ::testing::ElementsAreArray(whole));
    usb.ExpectAllConsumed();
}

}  // namespace
}  // namespace ots::test
