// The functions that issue control codes to the driver: which device, which code, which
// buffers, what is written when the open or the call fails, and that the handle is closed again.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "device/device_access.h"
#include "protocol/control_codes.h"
#include "support/records.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::ArrayOf;
using ots::test::Pattern;

ots::DeviceConfig gDevice{};
ots::DriverConfig gDriver{};
ots::DeviceIdentity gIdentity{};
VendorBlock gBlock{};

struct Call {
    const char* name;
    std::function<BOOL()> call;
    DWORD code;
    DWORD inputLength;   // 0: a null input buffer
    DWORD outputLength;  // 0: a null output buffer
    DebugChannel channel;
    std::string openFailed;  // as captured: the line without its '\n'
    std::string controlFailed;
};

const Call kCalls[] = {
    {"GetDeviceConfig", [] { return GetDeviceConfig(&gDevice, 0, &kCoordinate); },
     IOCTL_GET_DEVICE_CONFIG, 0, 58, DebugChannel::Kernel,
     "<Commmon><GetDeviceConfig>CreateFile Failed!\r",
     "<Commmon><GetDeviceConfig>DeviceIoControl Failed!\r"},
    {"SetDeviceConfig", [] { return SetDeviceConfig(&gDevice, 0, &kCoordinate); },
     IOCTL_SET_DEVICE_CONFIG, 58, 0, DebugChannel::Kernel,
     "<Commmon><SetDeviceConfig>CreateFile Failed!\r",
     "<Commmon><SetDeviceConfig>DeviceIoControl Failed!\r"},
    {"SetDriverConfig", [] { return SetDriverConfig(&gDriver); }, IOCTL_SET_DRIVER_CONFIG, 58, 0,
     DebugChannel::Runtime, "<common><SetDriverConfig>CreateFile Failed!!!!\r",
     "<common><SetDriverConfig>DeviceIoControl Failed!!!!"},
    {"GetDriverConfig", [] { return GetDriverConfig(&gDriver, 0); }, IOCTL_GET_DRIVER_CONFIG, 0, 58,
     DebugChannel::Runtime, "<common><GetDriverConfig>CreateFile Failed!!!!\r",
     "<common><GetDriverConfig>DeviceIoControl Failed!!!!"},
    {"OptUSBReinitOptcore", [] { return OptUSBReinitOptcore(); }, IOCTL_REINIT_OPTCORE, 0, 0,
     DebugChannel::Kernel, "<common><OptUSBReinitOptcore>CreateFile failed!\r",
     "<common><OptUSBReinitOptcore>DeviceIoControl failed!\r"},
    {"GetDeviceID", [] { return GetDeviceID(&gIdentity); }, IOCTL_GET_DEVICE_ID, 0, 6,
     DebugChannel::Kernel, "", "<common><GetDeviceID>call deviceiocontrol failed!\r"},
};

using DeviceCallsTest = ScriptedDevicesTest;

TEST_F(DeviceCallsTest, WithoutADeviceEveryCallWritesItsOpenFailureAndFails) {
    struct Extra {
        const char* name;
        std::function<BOOL()> call;
        const char* line;
    };
    const char* setCommand = "<optlib><SetCommand>CreateFile Failed!!!!\r";
    const Extra extras[] = {
        {"OTS2", [] { return GetDeviceConfig(&gDevice, 0, &kSecondStream); },
         "<Commmon><GetDeviceConfig>CreateFile Failed!\r"},
        {"calibration", [] { return SetCalibratePara({}, {}, 0, &kCoordinate); },
         "<Commmon><SetCalibratePara>CreateFile Failed!\r"},
        // The camera controller's sequences stop at their first command.
        {"camera config", [] { return GetDeviceConfig(&gDevice, 0, &kCamera); }, setCommand},
        {"camera store", [] { return SetDeviceConfig(&gDevice, 0, &kCamera); }, setCommand},
        {"camera calibration", [] { return SetCalibratePara({}, {}, 0, &kCamera); }, setCommand},
        {"camera panel", [] { return GetScreenProperty(&gBlock, 0, &kCamera); }, setCommand},
        {"version", [] { return GetVersion(0, &gBlock, 0, 0); }, setCommand},
    };
    for (const Call& c : kCalls) {
        SCOPED_TRACE(c.name);
        capture_.Clear();
        EXPECT_FALSE(c.call());
        const std::vector<std::string> lines =
            c.openFailed.empty() ? std::vector<std::string>{} : std::vector{c.openFailed};
        EXPECT_EQ(capture_.Lines(c.channel), lines);
        EXPECT_EQ(capture_.Lines(), lines) << "nothing on the other channel";
    }
    for (const Extra& c : extras) {
        SCOPED_TRACE(c.name);
        capture_.Clear();
        EXPECT_FALSE(c.call());
        EXPECT_EQ(capture_.Lines(), std::vector<std::string>{c.line});
    }
    // Any other controller has no panel block: zeros, without the device.
    gBlock.fill(0xEE);
    capture_.Clear();
    EXPECT_TRUE(GetScreenProperty(&gBlock, 0, &kSecondStream));
    EXPECT_TRUE(GetScreenProperty(&gBlock, 0, nullptr));
    EXPECT_EQ(gBlock, VendorBlock{});
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(DeviceCallsTest, EachIssuesItsCodeOnOneHandleAndAFailureIsWrittenOnItsChannel) {
    ASSERT_EQ(Activate(), L"OTS1:");
    for (const Call& c : kCalls) {
        SCOPED_TRACE(c.name);
        driver().Reset();
        capture_.Clear();
        EXPECT_TRUE(c.call());
        EXPECT_EQ(Trace(),
                  (std::vector<std::string>{"Open OTS1:", IoOf("OTS1:", c.code), "Close OTS1:"}));
        const auto calls = driver().IoCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].inputNull, c.inputLength == 0);
        EXPECT_EQ(calls[0].input.size(), c.inputLength);
        EXPECT_EQ(calls[0].outputNull, c.outputLength == 0);
        EXPECT_EQ(calls[0].outputLength, c.outputLength);
        EXPECT_TRUE(capture_.Lines().empty());

        driver().Reset();
        driver().FailCode(c.code);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(capture_.Lines(c.channel), std::vector<std::string>{c.controlFailed});
        EXPECT_EQ(capture_.Lines().size(), 1u) << "nothing on the other channel";
        EXPECT_EQ(Trace().back(), "Close OTS1:");
    }
}

TEST_F(DeviceCallsTest, GetsDecodeTheReplyIntoTheRecordOnlyWhenTheCallSucceeded) {
    ASSERT_EQ(Activate(), L"OTS1:");
    // Null records are refused without opening.
    EXPECT_FALSE(GetDeviceConfig(nullptr, 0, &kCoordinate) ||
                 SetDeviceConfig(nullptr, 0, &kCoordinate) || SetDriverConfig(nullptr) ||
                 GetDriverConfig(nullptr, 0) || GetDeviceID(nullptr) ||
                 GetScreenProperty(nullptr, 0, &kCoordinate) || GetVersion(0, nullptr, 0, 0));
    EXPECT_TRUE(Trace().empty());
    const Bytes deviceBytes = Pattern(58, 3);
    const Bytes driverBytes = Pattern(58, 11);
    driver().SetReply(IOCTL_GET_DEVICE_CONFIG, deviceBytes);
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG, driverBytes);
    driver().SetReply(IOCTL_GET_DEVICE_ID, {0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01});
    ots::DeviceConfig device{};
    ASSERT_TRUE(GetDeviceConfig(&device, 0, &kCoordinate));
    ASSERT_TRUE(SetDeviceConfig(&device, 0, &kCoordinate));
    EXPECT_EQ(Sent().back(), deviceBytes) << "whole, reserved bytes and DeviceID included";
    ots::DriverConfig config{};
    ASSERT_TRUE(GetDriverConfig(&config, 0));
    ASSERT_TRUE(SetDriverConfig(&config));
    EXPECT_EQ(Sent().back(), driverBytes);
    ots::DeviceIdentity identity{};
    ASSERT_TRUE(GetDeviceID(&identity));
    EXPECT_EQ(std::tuple(identity.idVendor, identity.idProduct, identity.bcdDevice),
              std::tuple(0x7E21, 0x0C20, 0x0100));

    for (DWORD code : {IOCTL_GET_DRIVER_CONFIG, IOCTL_GET_DEVICE_ID, IOCTL_GET_DEVICE_CONFIG}) {
        driver().FailCode(code);
    }
    config.Mode = 9;
    EXPECT_FALSE(GetDriverConfig(&config, 0));
    EXPECT_EQ(config.Mode, 9);
    identity = {1, 2, 3};
    EXPECT_FALSE(GetDeviceID(&identity));
    EXPECT_EQ(identity.idVendor, 1);
    device.MaxX = 77;
    EXPECT_FALSE(GetDeviceConfig(&device, 0, &kCoordinate));
    EXPECT_EQ(device.MaxX, 77);
}

TEST_F(DeviceCallsTest, CalibrationSendsXThenYOnOneHandleAndStopsAtTheFirstFailure) {
    ASSERT_EQ(Activate(), L"OTS1:");
    const std::string x = IoOf("OTS1:", IOCTL_SET_CALIB_PARA_X);
    const std::string y = IoOf("OTS1:", IOCTL_SET_CALIB_PARA_Y);
    const std::string o = "Open OTS1:", c = "Close OTS1:";
    const std::string fx = "<Commmon><SetCalibratePara>DeviceIoControl_X Failed!\r";
    const std::string fy = "<Commmon><SetCalibratePara>DeviceIoControl_Y Failed!\r";
    const struct {
        DWORD failing;
        std::vector<std::string> trace;
        std::vector<std::string> lines;
    } cases[] = {{0, {o, x, y, c}, {}},
                 {IOCTL_SET_CALIB_PARA_X, {o, x, c}, {fx}},
                 {IOCTL_SET_CALIB_PARA_Y, {o, x, y, c}, {fy}}};
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    ots::CalibPara calibY = ots::IdentityCalibParaY();
    calibX.A00 = 12.5f;
    calibY.reserve5 = 0x5A;
    for (const auto& row : cases) {
        driver().Reset();
        capture_.Clear();
        if (row.failing != 0) {
            driver().FailCode(row.failing);
        }
        EXPECT_EQ(SetCalibratePara(calibX, calibY, 0, &kCoordinate), row.failing == 0);
        EXPECT_EQ(Trace(), row.trace);
        EXPECT_EQ(capture_.Lines(DebugChannel::Kernel), row.lines);
    }
    const auto sent = Sent();
    EXPECT_EQ(ots::DecodeCalibPara(ArrayOf<58>(sent[0])).A00, 12.5f);
    EXPECT_EQ(sent[1][57], 0x5A);
}

// The 0x7E21/0x0012 controller is reached as "OTS2:", every other one as "OTS1:"; the driver's
// own settings are always on "OTS1:".
TEST_F(DeviceCallsTest, EachControllerIsReachedOnItsOwnDevice) {
    ASSERT_EQ(Activate(), L"OTS1:");
    ASSERT_EQ(Activate(), L"OTS2:");
    const ots::DeviceIdentity otherProduct{0x7E21, 0x0013, 0};
    const ots::DeviceIdentity otherVendor{0x7E22, 0x0012, 0};
    const struct {
        const ots::DeviceIdentity* identity;
        const wchar_t* device;
    } cases[] = {{&kSecondStream, L"OTS2:"},
                 {&kCoordinate, L"OTS1:"},
                 {&otherProduct, L"OTS1:"},
                 {&otherVendor, L"OTS1:"},
                 {nullptr, L"OTS1:"}};
    for (const auto& c : cases) {
        driver().Reset();
        ots::DeviceConfig config{};
        EXPECT_TRUE(GetDeviceConfig(&config, 0, c.identity));
        EXPECT_TRUE(SetDeviceConfig(&config, 0, c.identity));
        EXPECT_TRUE(SetCalibratePara({}, {}, 0, c.identity));
        for (const Call& call : kCalls) {
            if (call.code != IOCTL_GET_DEVICE_CONFIG && call.code != IOCTL_SET_DEVICE_CONFIG) {
                EXPECT_TRUE(call.call());
            }
        }
        const auto events = driver().Events();
        ASSERT_EQ(events.size(), 10u + 4u * 3);  // open, calls, close each
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].device, i < 10 ? c.device : L"OTS1:") << i;
        }
    }
}

}  // namespace
}  // namespace paneltest
