// OTS_IOControl: the twelve control codes, the refused short buffers, and the states in which
// nothing is served.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <vector>

#include "ce/host/clock.h"
#include "core/entry_points.h"
#include "support/driver_fixture.h"
#include "protocol/bytes.h"
#include "protocol/calib_para.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "protocol/vendor_command.h"
#include "touch/touch_data.h"

namespace {

using Bytes = std::vector<BYTE>;

constexpr BYTE kUntouched = 0xEE;

Bytes Pattern(std::size_t size, BYTE seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(seed + i * 7);
    }
    return bytes;
}

class ControlTest : public ots::test::DriverCoreTest {
  protected:
    void SetUp() override {
        ots::test::DriverCoreTest::SetUp();
        Use(usb_);
    }

    void Use(ots::test::FakeUsb& usb) {
        device_ = Create(usb);
        ASSERT_NE(device_, nullptr);
        cookie_ = device_->dwCookie;
        ASSERT_EQ(otsusb::OTS_Open(cookie_, 0, 0), cookie_);
    }

    BOOL Io(DWORD code, Bytes* in, Bytes* out) {
        return otsusb::OTS_IOControl(cookie_, code, in != nullptr ? in->data() : nullptr,
                                     in != nullptr ? static_cast<DWORD>(in->size()) : 0,
                                     out != nullptr ? out->data() : nullptr,
                                     out != nullptr ? static_cast<DWORD>(out->size()) : 0, nullptr);
    }
    Bytes Get(DWORD code, std::size_t size) {
        Bytes out(size, kUntouched);
        EXPECT_TRUE(Io(code, nullptr, &out));
        return out;
    }
    BOOL Set(DWORD code, Bytes in) { return Io(code, &in, nullptr); }

    ots::test::FakeUsb usb_;
    DEVICE_CONTEXT* device_ = nullptr;
    DWORD cookie_ = 0;
};

TEST_F(ControlTest, ReinitOfACoordinateControllerRedecidesTheDeviceConfig) {
    ots::test::WriteDword(ots::kScreenConfigKey, L"width", 1024);
    ots::test::WriteDword(ots::kScreenConfigKey, L"hight", 768);
    ots::test::FakeUsb other;
    Use(other);
    Bytes uncalibrated = Pattern(58, 1);
    uncalibrated[10] = 2;  // IsCalibrated other than 1: not calibrated
    ASSERT_TRUE(Set(IOCTL_SET_DEVICE_CONFIG, uncalibrated));
    EXPECT_TRUE(Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    Bytes expected(58, 0);
    ots::StoreU16(expected, 6, 1024);
    ots::StoreU16(expected, 8, 768);
    EXPECT_EQ(Get(IOCTL_GET_DEVICE_CONFIG, 58), expected);
    EXPECT_TRUE(other.VendorTransfers().empty());
    otsusb::OTS_Close(cookie_);
    Detach(device_);
}

TEST_F(ControlTest, ReinitOfAnUnansweringCameraFails) {
    ce::host::ScopedTimeScale fast(0.001);
    ots::test::FakeUsb camera(0x7E21, 0x0C20, 0x0100);
    Use(camera);
    EXPECT_FALSE(Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    EXPECT_FALSE(camera.VendorTransfers().empty());
    otsusb::OTS_Close(cookie_);
    Detach(device_);
}

// Vendor commands pass through unchanged; the reply comes back only from a good exchange.
class CommandTest : public ControlTest {
  protected:
    void SetUp() override {
        ControlTest::SetUp();
        usb_.vendor = [](const USB_DEVICE_REQUEST& setup, std::span<const BYTE> out) {
            static BYTE lastIndex = 0;
            if ((setup.bmRequestType & 0x80) == 0) {
                lastIndex = out.size() > 4 ? out[4] : 0;
                return ots::test::VendorAnswer{};
            }
            Bytes reply(64, 0x5A);
            reply[0] = 0xAA;
            reply[1] = 0x12;
            reply[4] = lastIndex;
            return ots::test::VendorAnswer{USB_NO_ERROR, reply};
        };
    }
    ce::host::ScopedTimeScale fast_{0.001};
};

TEST_F(CommandTest, FullSixtyFourBytePacketIsAccepted) {
    Bytes payload(58, 0x42);
    Bytes command(64);
    ASSERT_EQ(ots::BuildVendorCommand(1, 0x31, 1, payload.data(), payload.size(), command), 64u);
    Bytes reply(64, kUntouched);
    EXPECT_TRUE(Io(IOCTL_SET_COMMAND, &command, &reply));
    EXPECT_EQ(usb_.VendorTransfers()[0].sent, command);
}

TEST_F(CommandTest, FailedExchangeLeavesTheReplyBufferAlone) {
    usb_.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return ots::test::VendorAnswer{USB_STALL_ERROR, {}};
    };
    Bytes command = {0xAA, 0x02, 0x32, 0x01, 0x00, 0x32};
    Bytes reply(64, kUntouched);
    EXPECT_FALSE(Io(IOCTL_GET_COMMAND, &command, &reply));
    EXPECT_EQ(reply, Bytes(64, kUntouched));
    EXPECT_EQ(usb_.VendorTransfers().size(), 5u) << "five attempts";
}

TEST_F(CommandTest, PacketsOutsideSixToSixtyFourBytesAreRefused) {
    const struct {
        std::size_t commandSize;
        std::size_t replySize;
    } cases[] = {{5, 64}, {65, 64}, {0, 64}, {6, 63}, {6, 0}};
    for (const auto& c : cases) {
        Bytes command(c.commandSize, 0xAA);
        Bytes reply(c.replySize, kUntouched);
        SetLastError(0);
        EXPECT_FALSE(Io(IOCTL_GET_COMMAND, c.commandSize ? &command : nullptr,
                        c.replySize ? &reply : nullptr))
            << c.commandSize << "/" << c.replySize;
        EXPECT_EQ(GetLastError(), 87u);
        EXPECT_EQ(reply, Bytes(c.replySize, kUntouched));
    }
    EXPECT_TRUE(usb_.VendorTransfers().empty()) << "nothing reaches the controller";
}

// Buffers shorter than their record are refused instead of read or written past.
TEST_F(ControlTest, ShortOrMissingOutputBuffersAreRefused) {
    const struct {
        DWORD code;
        std::size_t size;
    } gets[] = {{IOCTL_GET_MOUSE_UP_DATA, 13},
                {IOCTL_GET_DRIVER_CONFIG, 58},
                {IOCTL_GET_DEVICE_ID, 6},
                {IOCTL_GET_DEVICE_CONFIG, 58}};
    for (const auto& get : gets) {
        Bytes shortBuffer(get.size - 1, kUntouched);
        SetLastError(0);
        EXPECT_FALSE(Io(get.code, nullptr, &shortBuffer)) << std::hex << get.code;
        EXPECT_EQ(GetLastError(), 87u);
        EXPECT_EQ(shortBuffer, Bytes(get.size - 1, kUntouched));
        SetLastError(0);
        EXPECT_FALSE(otsusb::OTS_IOControl(cookie_, get.code, nullptr, 0, nullptr, 100, nullptr));
        EXPECT_EQ(GetLastError(), 87u);
    }
}

TEST_F(ControlTest, ShortOrMissingInputBuffersAreRefusedAndChangeNothing) {
    const Bytes before = Get(IOCTL_GET_DRIVER_CONFIG, 58);
    const DWORD sets[] = {IOCTL_SET_DRIVER_CONFIG, IOCTL_SET_CALIB_PARA_X, IOCTL_SET_CALIB_PARA_Y,
                          IOCTL_SET_DEVICE_CONFIG};
    for (DWORD code : sets) {
        SetLastError(0);
        EXPECT_FALSE(Set(code, Pattern(57, 1))) << std::hex << code;
        EXPECT_EQ(GetLastError(), 87u);
        SetLastError(0);
        EXPECT_FALSE(otsusb::OTS_IOControl(cookie_, code, nullptr, 58, nullptr, 0, nullptr));
        EXPECT_EQ(GetLastError(), 87u);
    }
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_CONFIG, 58), before);
    EXPECT_EQ(device_->pTouchData->CalibParaX.A03, 0.0f);
    EXPECT_TRUE(ots::test::ValueNames(ots::kDriverConfigKey).empty()) << "nothing saved";
    EXPECT_TRUE(ots::test::ValueNames(ots::kCalibParaYKey).empty());
}

TEST_F(ControlTest, UnreadableInputLeavesTheLiveRecordUnchanged) {
    const Bytes before = Get(IOCTL_GET_DRIVER_CONFIG, 58);
    // A range that wraps around the address space cannot be copied.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    auto* wrapping = reinterpret_cast<PBYTE>(~std::uintptr_t{0} - 16);
    EXPECT_FALSE(
        otsusb::OTS_IOControl(cookie_, IOCTL_SET_DRIVER_CONFIG, wrapping, 58, nullptr, 0, nullptr));
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_CONFIG, 58), before);
    EXPECT_TRUE(ots::test::ValueNames(ots::kDriverConfigKey).empty());

    Bytes out(58, kUntouched);
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    auto* wrappingOut = reinterpret_cast<PBYTE>(~std::uintptr_t{0} - 16);
    EXPECT_FALSE(otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, wrappingOut,
                                       58, nullptr));
}

TEST_F(ControlTest, NothingIsServedUnlessOpenAndNotClosing) {
    const Bytes written = Pattern(58, 9);
    ASSERT_TRUE(otsusb::OTS_Close(cookie_));
    Bytes out(58, kUntouched);
    // A call that did nothing fails, so that no caller takes its untouched buffer for a record.
    EXPECT_FALSE(Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &out)) << "not open";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(out, Bytes(58, kUntouched));
    EXPECT_FALSE(Set(IOCTL_SET_DRIVER_CONFIG, written));

    for (const BYTE flags :
         {BYTE{DEVICE_FLAG_CLOSING}, BYTE{DEVICE_FLAG_OPEN | DEVICE_FLAG_CLOSING}}) {
        device_->Flags.store(flags);
        EXPECT_FALSE(Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &out)) << "closing";
        EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(out, Bytes(58, kUntouched));
        EXPECT_FALSE(Set(IOCTL_SET_DRIVER_CONFIG, written));
    }

    device_->Flags.store(DEVICE_FLAG_OPEN);
    EXPECT_NE(Get(IOCTL_GET_DRIVER_CONFIG, 58), written) << "neither set took effect";
    EXPECT_TRUE(ots::test::ValueNames(ots::kDriverConfigKey).empty());
}

TEST_F(ControlTest, StaleOrForgedContextIsServedNothing) {
    Bytes out(58, kUntouched);
    EXPECT_FALSE(otsusb::OTS_IOControl(cookie_ + 0x10, IOCTL_GET_DRIVER_CONFIG, nullptr, 0,
                                       out.data(), 58, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(
        otsusb::OTS_IOControl(0, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, out.data(), 58, nullptr));
    EXPECT_EQ(out, Bytes(58, kUntouched));
}

TEST_F(ControlTest, ActualOutputLengthIsNeverWritten) {
    Bytes out(58, kUntouched);
    DWORD actual = 0xABCD;
    EXPECT_TRUE(otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, out.data(), 58,
                                      &actual));
    EXPECT_EQ(actual, 0xABCDu);
}

}  // namespace
