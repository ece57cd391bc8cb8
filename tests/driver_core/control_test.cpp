// OTS_IOControl: the refused short buffers, vendor commands, reinitialisation, and the states in
// which nothing is served.
#include <gtest/gtest.h>

#include <vector>

#include "ce/host/clock.h"
#include "core/entry_points.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "protocol/vendor_command.h"
#include "support/driver_fixture.h"
#include "touch/touch_data.h"

namespace ots::test {
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

class ControlTest : public DriverCoreTest {
  protected:
    void SetUp() override {
        DriverCoreTest::SetUp();
        Use(usb_);
    }
    void Use(FakeUsb& usb) {
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
    // A refused call: false, error 87.
    void ExpectRefused(BOOL result) {
        EXPECT_FALSE(result);
        EXPECT_EQ(GetLastError(), 87u);
        SetLastError(0);
    }

    DEVICE_CONTEXT* device_ = nullptr;
    DWORD cookie_ = 0;
};

TEST_F(ControlTest, ReinitOfACoordinateControllerRedecidesTheDeviceConfig) {
    WriteDword(ots::kScreenConfigKey, L"width", 1024);
    WriteDword(ots::kScreenConfigKey, L"hight", 768);
    FakeUsb other;
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
    FakeUsb camera(0x7E21, 0x0C20, 0x0100);
    Use(camera);
    EXPECT_FALSE(Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    EXPECT_FALSE(camera.VendorTransfers().empty());
    otsusb::OTS_Close(cookie_);
    Detach(device_);
}

// Vendor commands pass through unchanged; the reply comes back only from a good exchange.
TEST_F(ControlTest, VendorCommandsOfSixToSixtyFourBytesPassThrough) {
    ce::host::ScopedTimeScale fast(0.001);
    BYTE lastIndex = 0;  // a good reply echoes the command's index
    usb_.vendor = [&](const USB_DEVICE_REQUEST& setup, std::span<const BYTE> out) {
        if ((setup.bmRequestType & 0x80) == 0) {
            lastIndex = out.size() > 4 ? out[4] : 0;
            return VendorAnswer{};
        }
        Bytes reply(64, 0x5A);
        reply[0] = 0xAA;
        reply[1] = 0x12;
        reply[4] = lastIndex;
        return VendorAnswer{USB_NO_ERROR, reply};
    };
    Bytes command(64);
    const Bytes payload(58, 0x42);
    ASSERT_EQ(ots::BuildVendorCommand(1, 0x31, 1, payload.data(), payload.size(), command), 64u);
    Bytes reply(64, kUntouched);
    EXPECT_TRUE(Io(IOCTL_SET_COMMAND, &command, &reply));
    ASSERT_EQ(usb_.VendorTransfers().size(), 2u);
    EXPECT_EQ(usb_.VendorTransfers()[0].sent, command) << "the whole packet, unchanged";

    const struct {
        std::size_t commandSize, replySize;
    } refused[] = {{5, 64}, {65, 64}, {0, 64}, {6, 63}, {6, 0}};
    for (const auto& c : refused) {
        SCOPED_TRACE(testing::Message() << c.commandSize << "/" << c.replySize);
        Bytes shortCommand(c.commandSize, 0xAA);
        Bytes shortReply(c.replySize, kUntouched);
        ExpectRefused(Io(IOCTL_GET_COMMAND, c.commandSize ? &shortCommand : nullptr,
                         c.replySize ? &shortReply : nullptr));
        EXPECT_EQ(shortReply, Bytes(c.replySize, kUntouched));
    }
    EXPECT_EQ(usb_.VendorTransfers().size(), 2u) << "no refused command reaches the controller";

    usb_.vendor = [](const USB_DEVICE_REQUEST&, std::span<const BYTE>) {
        return VendorAnswer{USB_STALL_ERROR, {}};
    };
    command = {0xAA, 0x02, 0x32, 0x01, 0x00, 0x32};
    reply.assign(64, kUntouched);
    EXPECT_FALSE(Io(IOCTL_GET_COMMAND, &command, &reply));
    EXPECT_EQ(reply, Bytes(64, kUntouched)) << "a failed exchange leaves the reply alone";
    EXPECT_EQ(usb_.VendorTransfers().size(), 2u + 5u) << "five attempts";
}

// Buffers shorter than their record are refused instead of read or written past.
TEST_F(ControlTest, ShortOrMissingBuffersAreRefusedAndChangeNothing) {
    const Bytes before = Get(IOCTL_GET_DRIVER_CONFIG, 58);
    const struct {
        DWORD code;
        std::size_t size;
    } gets[] = {{IOCTL_GET_MOUSE_UP_DATA, 13},
                {IOCTL_GET_DRIVER_CONFIG, 58},
                {IOCTL_GET_DEVICE_ID, 6},
                {IOCTL_GET_DEVICE_CONFIG, 58}};
    for (const auto& get : gets) {
        SCOPED_TRACE(get.code);
        Bytes shortBuffer(get.size - 1, kUntouched);
        ExpectRefused(Io(get.code, nullptr, &shortBuffer));
        EXPECT_EQ(shortBuffer, Bytes(get.size - 1, kUntouched));
        ExpectRefused(otsusb::OTS_IOControl(cookie_, get.code, nullptr, 0, nullptr, 100, nullptr));
    }
    for (DWORD code : {IOCTL_SET_DRIVER_CONFIG, IOCTL_SET_CALIB_PARA_X, IOCTL_SET_CALIB_PARA_Y,
                       IOCTL_SET_DEVICE_CONFIG}) {
        SCOPED_TRACE(code);
        ExpectRefused(Set(code, Pattern(57, 1)));
        ExpectRefused(otsusb::OTS_IOControl(cookie_, code, nullptr, 58, nullptr, 0, nullptr));
    }
    // A range that wraps around the address space cannot be copied.
    auto* wrapping = reinterpret_cast<PBYTE>(~std::uintptr_t{0} - 16);  // NOLINT
    EXPECT_FALSE(
        otsusb::OTS_IOControl(cookie_, IOCTL_SET_DRIVER_CONFIG, wrapping, 58, nullptr, 0, nullptr));
    EXPECT_FALSE(
        otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, wrapping, 58, nullptr));
    EXPECT_EQ(Get(IOCTL_GET_DRIVER_CONFIG, 58), before);
    EXPECT_EQ(device_->pTouchData->CalibParaX.A03, 0.0f);
    EXPECT_TRUE(ValueNames(ots::kDriverConfigKey).empty()) << "nothing saved";
    EXPECT_TRUE(ValueNames(ots::kCalibParaYKey).empty());
}

TEST_F(ControlTest, NothingIsServedUnlessOpenAndNotClosing) {
    const Bytes written = Pattern(58, 9);
    const struct {
        const char* name;
        DWORD context;
        BYTE flags;
        DWORD error;
    } rows[] = {
        {"not open", cookie_, 0, ERROR_INVALID_HANDLE},
        {"closing", cookie_, DEVICE_FLAG_CLOSING, ERROR_DEVICE_NOT_CONNECTED},
        {"open and closing", cookie_, DEVICE_FLAG_OPEN | DEVICE_FLAG_CLOSING,
         ERROR_DEVICE_NOT_CONNECTED},
        {"stale cookie", cookie_ + 0x10, DEVICE_FLAG_OPEN, ERROR_INVALID_HANDLE},
        {"no cookie", 0, DEVICE_FLAG_OPEN, ERROR_INVALID_HANDLE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device_->Flags.store(row.flags);
        // A call that did nothing fails, so that no caller takes its untouched buffer for a record.
        Bytes out(58, kUntouched);
        EXPECT_FALSE(otsusb::OTS_IOControl(row.context, IOCTL_GET_DRIVER_CONFIG, nullptr, 0,
                                           out.data(), 58, nullptr));
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(out, Bytes(58, kUntouched));
        Bytes in = written;
        EXPECT_FALSE(otsusb::OTS_IOControl(row.context, IOCTL_SET_DRIVER_CONFIG, in.data(), 58,
                                           nullptr, 0, nullptr));
    }
    device_->Flags.store(DEVICE_FLAG_OPEN);
    Bytes out(58, kUntouched);
    DWORD actual = 0xABCD;
    EXPECT_TRUE(otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, out.data(), 58,
                                      &actual));
    EXPECT_EQ(actual, 0xABCDu) << "the actual length is never written";
    EXPECT_NE(out, written) << "no set took effect";
    EXPECT_TRUE(ValueNames(ots::kDriverConfigKey).empty());
}

}  // namespace
}  // namespace ots::test
