// The control codes through the stream device, as the control panel uses them.
#include <gtest/gtest.h>

#include "ce/host/clock.h"
#include "driver_core/registry_probe.h"
#include "integration_support.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"

namespace it {
namespace {

Bytes Pattern(std::size_t size, BYTE seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(seed + 13 * i);
    }
    return bytes;
}

class ControlIntegrationTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(ControlIntegrationTest, DriverConfigRoundTripsAndOnlyNamedFieldsSurviveAReplug) {
    Bytes written = Pattern(58, 5);
    written[1] = 0;  // EnableTouch off, so that nothing else happens meanwhile
    {
        PluggedController controller;
        ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, written));
        EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58), written);
    }
    PluggedController again;
    Bytes expected = written;
    std::fill(expected.begin() + 38, expected.end(), 0);  // the reserved bytes are not stored
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58), expected);
}

TEST_F(ControlIntegrationTest, DeviceConfigAndCalibrationSurviveAReplug) {
    Bytes device = Pattern(58, 1);
    device[10] = 1;  // calibrated, so the re-plug keeps it
    Bytes calibY = Pattern(58, 2);
    {
        PluggedController controller;
        ASSERT_TRUE(SetRecord(IOCTL_SET_DEVICE_CONFIG, device));
        ASSERT_TRUE(SetRecord(IOCTL_SET_CALIB_PARA_Y, calibY));
    }
    PluggedController again;
    Bytes expected = device;
    std::fill(expected.begin() + 27, expected.end(), 0);
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58), expected);
    EXPECT_EQ(
        test::ReadDword(ots::kCalibParaYKey, L"A03"),
        DWORD{calibY[0]} | DWORD{calibY[1]} << 8 | DWORD{calibY[2]} << 16 | DWORD{calibY[3]} << 24);
}

TEST_F(ControlIntegrationTest, CalibParaYWritesOnlyItsKey) {
    PluggedController controller;
    ASSERT_TRUE(test::ValueNames(ots::kCalibParaXKey).empty());
    ASSERT_TRUE(SetRecord(IOCTL_SET_CALIB_PARA_Y, Pattern(58, 9)));
    EXPECT_TRUE(test::ValueNames(ots::kCalibParaXKey).empty());
    EXPECT_EQ(test::ValueNames(ots::kCalibParaYKey).size(), 16u);
    EXPECT_TRUE(test::ValueNames(ots::kDriverConfigKey).empty());
}

TEST_F(ControlIntegrationTest, ShortBuffersAreRefusedThroughTheStream) {
    PluggedController controller;
    StreamHandle handle;
    ASSERT_TRUE(handle.ok());
    Bytes shortOut(57, 0xEE);
    SetLastError(0);
    EXPECT_FALSE(handle.Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &shortOut));
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(shortOut, Bytes(57, 0xEE));
    Bytes shortIn = Pattern(57, 1);
    EXPECT_FALSE(handle.Io(IOCTL_SET_DRIVER_CONFIG, &shortIn, nullptr));
    EXPECT_EQ(GetLastError(), 87u);
}

TEST_F(ControlIntegrationTest, ReinitOfACoordinateControllerSucceeds) {
    PluggedController controller;
    StreamHandle handle;
    ASSERT_TRUE(handle.ok());
    EXPECT_TRUE(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    EXPECT_TRUE(controller.panel().ControlRequests().empty()) << "nothing is sent to it";
}

}  // namespace
}  // namespace it
