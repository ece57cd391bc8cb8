// One vendor command exchange: the two control transfers byte for byte, response acceptance,
// retries, and what a silent controller costs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "support/scripted_usb.h"
#include "touch/sensor_init.h"
#include "touch/vendor_exchange.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAreArray;

constexpr DWORD kFailed = 0xC0000001u;
constexpr double kFastClock = 0.01;  // real ms per platform ms

const Bytes kBracketOpenCamera0 = {0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
const Bytes kReadDeviceConfig = {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};

class VendorExchangeTest : public ::testing::Test {
  protected:
    VendorExchangeTest() {
        device.ctx().lpUsbFuncs = usb.funcs();
        device.ctx().hUsbDevice = usb.handle();
        response.fill(0x5A);
    }
    void TearDown() override { usb.ExpectAllConsumed(); }

    DWORD Send(const Bytes& command) {
        return SendVendorCommand(&device.ctx(), command.data(), static_cast<DWORD>(command.size()),
                                 response.data());
    }
    bool ResponseUntouched() const {
        return std::all_of(response.begin(), response.end(), [](BYTE b) { return b == 0x5A; });
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    ce::host::ScopedTimeScale fast{kFastClock};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    std::array<BYTE, 64> response{};
};

TEST_F(VendorExchangeTest, AcceptedResponseIsCopiedWhole) {
    const Bytes reply = BlockResponse(0x11, 0x71, 0x00, PatternBlock(1));
    usb.ExpectCommand(kBracketOpenCamera0, reply);
    EXPECT_EQ(Send(kBracketOpenCamera0), 0u);
    EXPECT_THAT(response, ElementsAreArray(reply));
}

TEST_F(VendorExchangeTest, FramedCommandsGoOutByteForByte) {
    usb.ExpectCommand(kReadDeviceConfig, BlockResponse(0x12, 0x30, 0x01, PatternBlock(9)));
    const Bytes closeCamera1 = {0xAA, 0x01, 0x71, 0x02, 0x01, 0x00, 0x74};
    usb.ExpectCommand(closeCamera1, BlockResponse(0x11, 0x71, 0x01, {}));
    EXPECT_EQ(ExchangeVendorCommand(&device.ctx(), 2, 0x30, 1, nullptr, 0, response.data()), 0u);
    const BYTE argument = 0;
    EXPECT_EQ(ExchangeVendorCommand(&device.ctx(), 1, 0x71, 1, &argument, 1, response.data()), 0u);
}

TEST_F(VendorExchangeTest, ResponseForAnotherIndexIsRetried) {
    usb.ExpectCommand(kReadDeviceConfig, BlockResponse(0x12, 0x30, 0x00, PatternBlock(1)));
    const Bytes good = BlockResponse(0x12, 0x30, 0x01, PatternBlock(2));
    usb.ExpectCommand(kReadDeviceConfig, good);
    EXPECT_EQ(Send(kReadDeviceConfig), 0u);
    EXPECT_THAT(response, ElementsAreArray(good));
}

TEST_F(VendorExchangeTest, ResponseClassMustHaveHighNibbleOne) {
    for (BYTE cls = 0x10; cls <= 0x1F; ++cls) {
        usb.ExpectCommand(kReadDeviceConfig, BlockResponse(cls, 0x30, 0x01, PatternBlock(cls)));
        EXPECT_EQ(Send(kReadDeviceConfig), 0u) << "class 0x" << std::hex << int{cls};
        EXPECT_EQ(response[1], cls);
    }
    usb.ExpectAllConsumed();

    response.fill(0x5A);
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommand(kReadDeviceConfig, BlockResponse(0x21, 0x30, 0x01, PatternBlock(3)));
    }
    EXPECT_EQ(Send(kReadDeviceConfig), kFailed);
    EXPECT_TRUE(ResponseUntouched());
}

TEST_F(VendorExchangeTest, ResponseWithoutSyncIsRejected) {
    Bytes noSync = BlockResponse(0x12, 0x30, 0x01, PatternBlock(3));
    noSync[0] = 0xAB;
    for (int attempt = 0; attempt < 4; ++attempt) {
        usb.ExpectCommand(kReadDeviceConfig, noSync);
    }
    usb.ExpectCommand(kReadDeviceConfig, BlockResponse(0x00, 0x30, 0x01, PatternBlock(3)));
    EXPECT_EQ(Send(kReadDeviceConfig), kFailed);
    EXPECT_TRUE(ResponseUntouched());
}

TEST_F(VendorExchangeTest, SilentControllerCostsFiveFullAttempts) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandUnanswered(kReadDeviceConfig);
    }
    const double start = ce::host::PlatformNowMs();
    EXPECT_EQ(Send(kReadDeviceConfig), kFailed);
    EXPECT_GE(ce::host::PlatformNowMs() - start, 5 * (20 + 40));
    EXPECT_EQ(usb.TransfersSeen(), 10u);
    EXPECT_TRUE(ResponseUntouched());
}

TEST_F(VendorExchangeTest, FailedCommandTransferSkipsTheResponse) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        usb.ExpectCommandStalled(kReadDeviceConfig);
    }
    const Bytes good = BlockResponse(0x12, 0x30, 0x01, PatternBlock(4));
    usb.ExpectCommand(kReadDeviceConfig, good);
    EXPECT_EQ(Send(kReadDeviceConfig), 0u);
    EXPECT_EQ(usb.TransfersSeen(), 6u);
    EXPECT_THAT(response, ElementsAreArray(good));
}

TEST_F(VendorExchangeTest, CommandsTooShortForAnIndexOrTooLongForWLengthAreRefused) {
    const Bytes tooShort(kBracketOpenCamera0.begin(), kBracketOpenCamera0.begin() + 4);
    EXPECT_EQ(Send(tooShort), kFailed);
    const Bytes tooLong(65536, 0xAA);
    EXPECT_EQ(Send(tooLong), kFailed);
    EXPECT_EQ(usb.TransfersSeen(), 0u);
    EXPECT_TRUE(ResponseUntouched());
    EXPECT_EQ(SendVendorCommand(nullptr, kReadDeviceConfig.data(), 6, response.data()), kFailed);
    EXPECT_EQ(SendVendorCommand(&device.ctx(), kReadDeviceConfig.data(), 6, nullptr), kFailed);

    // Five bytes carry the index: the command goes out as given.
    const Bytes indexOnly(kReadDeviceConfig.begin(), kReadDeviceConfig.begin() + 5);
    usb.ExpectCommand(indexOnly, BlockResponse(0x12, 0x30, 0x01, {}));
    EXPECT_EQ(Send(indexOnly), 0u);
}

}  // namespace
}  // namespace ots::test
