// The functions that issue one control code to the driver: which device, which code, which
// buffers, what is written when it fails, and that the handle is closed again.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "device/device_access.h"
#include "panel_test_support.h"
#include "protocol/control_codes.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

struct WrapperCase {
    const char* name;
    std::function<BOOL()> call;
    DWORD code;
    DWORD inputLength;   // 0: a null input buffer
    DWORD outputLength;  // 0: a null output buffer
    DebugChannel channel;
    std::string openFailed;     // as captured: the line without its '\n'
    std::string controlFailed;  // likewise
};

std::vector<WrapperCase> Wrappers() {
    static ots::DeviceConfig deviceConfig{};
    static ots::DriverConfig driverConfig{};
    static ots::DeviceIdentity identity{};
    return {
        {"GetDeviceConfig", [] { return GetDeviceConfig(&deviceConfig, 0, &kCoordinateIdentity); },
         IOCTL_GET_DEVICE_CONFIG, 0, 58, DebugChannel::Kernel,
         "<Commmon><GetDeviceConfig>CreateFile Failed!\r",
         "<Commmon><GetDeviceConfig>DeviceIoControl Failed!\r"},
        {"SetDeviceConfig", [] { return SetDeviceConfig(&deviceConfig, 0, &kCoordinateIdentity); },
         IOCTL_SET_DEVICE_CONFIG, 58, 0, DebugChannel::Kernel,
         "<Commmon><SetDeviceConfig>CreateFile Failed!\r",
         "<Commmon><SetDeviceConfig>DeviceIoControl Failed!\r"},
        {"SetDriverConfig", [] { return SetDriverConfig(&driverConfig); }, IOCTL_SET_DRIVER_CONFIG,
         58, 0, DebugChannel::Runtime, "<common><SetDriverConfig>CreateFile Failed!!!!\r",
         "<common><SetDriverConfig>DeviceIoControl Failed!!!!"},
        {"GetDriverConfig", [] { return GetDriverConfig(&driverConfig, 0); },
         IOCTL_GET_DRIVER_CONFIG, 0, 58, DebugChannel::Runtime,
         "<common><GetDriverConfig>CreateFile Failed!!!!\r",
         "<common><GetDriverConfig>DeviceIoControl Failed!!!!"},
        {"OptUSBReinitOptcore", [] { return OptUSBReinitOptcore(); }, IOCTL_REINIT_OPTCORE, 0, 0,
         DebugChannel::Kernel, "<common><OptUSBReinitOptcore>CreateFile failed!\r",
         "<common><OptUSBReinitOptcore>DeviceIoControl failed!\r"},
        {"GetDeviceID", [] { return GetDeviceID(&identity); }, IOCTL_GET_DEVICE_ID, 0, 6,
         DebugChannel::Kernel, "", "<common><GetDeviceID>call deviceiocontrol failed!\r"},
    };
}

class PlainWrapperTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
    }
};

TEST_F(PlainWrapperTest, EachIssuesItsCodeWithTheRecordSizesOnOneOpenHandle) {
    for (const WrapperCase& wrapper : Wrappers()) {
        SCOPED_TRACE(wrapper.name);
        driver().Reset();
        capture_.Clear();
        EXPECT_TRUE(wrapper.call());
        EXPECT_EQ(Trace(), (std::vector<std::string>{OpenOf("OTS1:"), IoOf("OTS1:", wrapper.code),
                                                     CloseOf("OTS1:")}));
        const auto calls = driver().IoCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].inputNull, wrapper.inputLength == 0);
        EXPECT_EQ(calls[0].input.size(), wrapper.inputLength);
        EXPECT_EQ(calls[0].outputNull, wrapper.outputLength == 0);
        EXPECT_EQ(calls[0].outputLength, wrapper.outputLength);
        EXPECT_TRUE(capture_.Lines().empty());
    }
}

TEST_F(PlainWrapperTest, AFailingCodeWritesItsMessageOnItsChannelAndStillCloses) {
    for (const WrapperCase& wrapper : Wrappers()) {
        SCOPED_TRACE(wrapper.name);
        driver().Reset();
        driver().FailCode(wrapper.code);
        capture_.Clear();
        EXPECT_FALSE(wrapper.call());
        EXPECT_EQ(capture_.Lines(wrapper.channel), std::vector<std::string>{wrapper.controlFailed});
        EXPECT_EQ(capture_.Lines().size(), 1u) << "nothing on the other channel";
        EXPECT_EQ(Trace().back(), CloseOf("OTS1:"));
    }
}

TEST_F(PlainWrapperTest, GetsDecodeWhatTheDriverReturnedAndSetsSendTheEncodedRecord) {
    const Bytes deviceBytes = Pattern(58, 3);
    driver().SetReply(IOCTL_GET_DEVICE_CONFIG, deviceBytes);
    ots::DeviceConfig device{};
    ASSERT_TRUE(GetDeviceConfig(&device, 0, &kCoordinateIdentity));
    EXPECT_EQ(device.DeviceID, deviceBytes[0]) << "no DeviceID rewriting on the driver's path";
    ASSERT_TRUE(SetDeviceConfig(&device, 0, &kCoordinateIdentity));
    EXPECT_EQ(driver().IoCalls().back().input, deviceBytes) << "reserved bytes included";

    const Bytes driverBytes = Pattern(58, 11);
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG, driverBytes);
    ots::DriverConfig config{};
    ASSERT_TRUE(GetDriverConfig(&config, 0));
    EXPECT_EQ(config.BeepFrequency,
              ots::DecodeDriverConfig(ArrayOf<58>(driverBytes)).BeepFrequency);
    ASSERT_TRUE(SetDriverConfig(&config));
    EXPECT_EQ(driver().IoCalls().back().input, driverBytes);

    driver().SetReply(IOCTL_GET_DEVICE_ID, {0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01});
    ots::DeviceIdentity identity{};
    ASSERT_TRUE(GetDeviceID(&identity));
    EXPECT_EQ(identity.idVendor, 0x7E21);
    EXPECT_EQ(identity.idProduct, 0x0C20);
    EXPECT_EQ(identity.bcdDevice, 0x0100);
}

TEST_F(PlainWrapperTest, AFailedGetLeavesTheCallersRecordAsItWas) {
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG, Pattern(58, 1));
    driver().SetReply(IOCTL_GET_DEVICE_ID, Pattern(6, 1));
    driver().FailCode(IOCTL_GET_DRIVER_CONFIG);
    driver().FailCode(IOCTL_GET_DEVICE_ID);
    driver().FailCode(IOCTL_GET_DEVICE_CONFIG);
    ots::DriverConfig config{};
    config.Mode = 9;
    EXPECT_FALSE(GetDriverConfig(&config, 0));
    EXPECT_EQ(config.Mode, 9);
    ots::DeviceIdentity identity{1, 2, 3};
    EXPECT_FALSE(GetDeviceID(&identity));
    EXPECT_EQ(identity.idVendor, 1);
    ots::DeviceConfig device{};
    device.MaxX = 77;
    EXPECT_FALSE(GetDeviceConfig(&device, 0, &kCoordinateIdentity));
    EXPECT_EQ(device.MaxX, 77);
}

TEST_F(PlainWrapperTest, NullRecordsAreRefusedWithoutOpening) {
    EXPECT_FALSE(GetDeviceConfig(nullptr, 0, &kCoordinateIdentity));
    EXPECT_FALSE(SetDeviceConfig(nullptr, 0, &kCoordinateIdentity));
    EXPECT_FALSE(SetDriverConfig(nullptr));
    EXPECT_FALSE(GetDriverConfig(nullptr, 0));
    EXPECT_FALSE(GetDeviceID(nullptr));
    EXPECT_FALSE(GetScreenProperty(nullptr, 0, &kCoordinateIdentity));
    EXPECT_FALSE(GetVersion(0, nullptr, 0, 0));
    EXPECT_TRUE(Trace().empty());
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(PlainWrapperTest, CalibrationSendsXThenYOnOneHandle) {
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    ots::CalibPara calibY = ots::IdentityCalibParaY();
    calibX.A00 = 12.5f;
    calibY.reserve5 = 0x5A;
    ASSERT_TRUE(SetCalibratePara(calibX, calibY, 0, &kCoordinateIdentity));
    EXPECT_EQ(Trace(),
              (std::vector<std::string>{OpenOf("OTS1:"), IoOf("OTS1:", IOCTL_SET_CALIB_PARA_X),
                                        IoOf("OTS1:", IOCTL_SET_CALIB_PARA_Y), CloseOf("OTS1:")}));
    const auto calls = driver().IoCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(ots::DecodeCalibPara(ArrayOf<58>(calls[0].input)).A00, 12.5f);
    EXPECT_EQ(calls[1].input[57], 0x5A);
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(PlainWrapperTest, CalibrationWhoseXCallFailsDoesNotMakeTheYCall) {
    driver().FailCode(IOCTL_SET_CALIB_PARA_X);
    EXPECT_FALSE(SetCalibratePara(ots::IdentityCalibParaX(), ots::IdentityCalibParaY(), 0,
                                  &kCoordinateIdentity));
    EXPECT_EQ(Trace(),
              (std::vector<std::string>{OpenOf("OTS1:"), IoOf("OTS1:", IOCTL_SET_CALIB_PARA_X),
                                        CloseOf("OTS1:")}));
    EXPECT_EQ(capture_.Lines(DebugChannel::Kernel),
              std::vector<std::string>{"<Commmon><SetCalibratePara>DeviceIoControl_X Failed!\r"});
}

TEST_F(PlainWrapperTest, CalibrationWhoseYCallFailsNamesTheYAxis) {
    driver().FailCode(IOCTL_SET_CALIB_PARA_Y);
    EXPECT_FALSE(SetCalibratePara(ots::IdentityCalibParaX(), ots::IdentityCalibParaY(), 0,
                                  &kCoordinateIdentity));
    EXPECT_EQ(driver().IoCalls().size(), 2u);
    EXPECT_EQ(capture_.Lines(DebugChannel::Kernel),
              std::vector<std::string>{"<Commmon><SetCalibratePara>DeviceIoControl_Y Failed!\r"});
}

class DeviceChoiceTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
        ASSERT_EQ(Activate(), L"OTS2:");
    }

    // The devices the three identity-taking wrappers opened, one per call.
    std::vector<std::wstring> DevicesFor(const ots::DeviceIdentity* identity) {
        driver().Reset();
        const ots::DeviceConfig config{};
        ots::DeviceConfig read{};
        EXPECT_TRUE(GetDeviceConfig(&read, 0, identity));
        EXPECT_TRUE(SetDeviceConfig(&config, 0, identity));
        EXPECT_TRUE(SetCalibratePara(ots::CalibPara{}, ots::CalibPara{}, 0, identity));
        std::vector<std::wstring> devices;
        for (const script::Event& event : driver().Events()) {
            if (event.op == script::Op::Open) {
                devices.push_back(event.device);
            }
        }
        return devices;
    }
};

TEST_F(DeviceChoiceTest, The0012ControllerIsReachedAsOts2AndEveryOtherAsOts1) {
    const std::vector<std::wstring> ots1(3, L"OTS1:");
    const std::vector<std::wstring> ots2(3, L"OTS2:");
    EXPECT_EQ(DevicesFor(&kSecondStreamIdentity), ots2);
    EXPECT_EQ(DevicesFor(&kCoordinateIdentity), ots1);
    const ots::DeviceIdentity otherProduct{0x7E21, 0x0013, 0};
    EXPECT_EQ(DevicesFor(&otherProduct), ots1);
    const ots::DeviceIdentity otherVendor{0x7E22, 0x0012, 0};
    EXPECT_EQ(DevicesFor(&otherVendor), ots1);
    EXPECT_EQ(DevicesFor(nullptr), ots1) << "no identity: an unknown controller";
}

TEST_F(DeviceChoiceTest, DriverSettingsAlwaysGoToOts1) {
    ots::DriverConfig config{};
    ots::DeviceIdentity identity{};
    EXPECT_TRUE(GetDriverConfig(&config, 0));
    EXPECT_TRUE(SetDriverConfig(&config));
    EXPECT_TRUE(OptUSBReinitOptcore());
    EXPECT_TRUE(GetDeviceID(&identity));
    for (const script::Event& event : driver().Events()) {
        EXPECT_EQ(event.device, L"OTS1:");
    }
}

}  // namespace
}  // namespace paneltest
