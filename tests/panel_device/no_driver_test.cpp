// No driver and no device host: every function fails at the open, says so where it is meant
// to, and touches nothing.
#include <gtest/gtest.h>

#include <functional>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/registry_store.h"
#include "device/device_access.h"
#include "panel_test_support.h"

namespace paneltest {
namespace {

using ce::host::DebugChannel;

struct Expected {
    DebugChannel channel;
    std::string line;  // as captured: without its '\n'
};

struct NoDriverCase {
    const char* name;
    std::function<BOOL()> call;
    std::vector<Expected> lines;
};

std::vector<NoDriverCase> Cases() {
    static ots::DeviceConfig deviceConfig{};
    static ots::DriverConfig driverConfig{};
    static ots::DeviceIdentity identity{};
    static VendorBlock block{};
    const Expected setCommandOpen{DebugChannel::Runtime,
                                  "<optlib><SetCommand>CreateFile Failed!!!!\r"};
    return {
        {"GetDeviceConfig OTS1",
         [] { return GetDeviceConfig(&deviceConfig, 0, &kCoordinateIdentity); },
         {{DebugChannel::Kernel, "<Commmon><GetDeviceConfig>CreateFile Failed!\r"}}},
        {"GetDeviceConfig OTS2",
         [] { return GetDeviceConfig(&deviceConfig, 0, &kSecondStreamIdentity); },
         {{DebugChannel::Kernel, "<Commmon><GetDeviceConfig>CreateFile Failed!\r"}}},
        {"SetDeviceConfig",
         [] { return SetDeviceConfig(&deviceConfig, 0, &kCoordinateIdentity); },
         {{DebugChannel::Kernel, "<Commmon><SetDeviceConfig>CreateFile Failed!\r"}}},
        {"SetCalibratePara",
         [] {
             return SetCalibratePara(ots::CalibPara{}, ots::CalibPara{}, 0, &kCoordinateIdentity);
         },
         {{DebugChannel::Kernel, "<Commmon><SetCalibratePara>CreateFile Failed!\r"}}},
        {"SetDriverConfig",
         [] { return SetDriverConfig(&driverConfig); },
         {{DebugChannel::Runtime, "<common><SetDriverConfig>CreateFile Failed!!!!\r"}}},
        {"GetDriverConfig",
         [] { return GetDriverConfig(&driverConfig, 0); },
         {{DebugChannel::Runtime, "<common><GetDriverConfig>CreateFile Failed!!!!\r"}}},
        {"OptUSBReinitOptcore",
         [] { return OptUSBReinitOptcore(); },
         {{DebugChannel::Kernel, "<common><OptUSBReinitOptcore>CreateFile failed!\r"}}},
        {"GetDeviceID", [] { return GetDeviceID(&identity); }, {}},
        // The camera controller's sequences stop at their first command.
        {"GetDeviceConfig camera",
         [] { return GetDeviceConfig(&deviceConfig, 0, &kCameraIdentity); },
         {setCommandOpen}},
        {"SetDeviceConfig camera",
         [] { return SetDeviceConfig(&deviceConfig, 0, &kCameraIdentity); },
         {setCommandOpen}},
        {"SetCalibratePara camera",
         [] { return SetCalibratePara(ots::CalibPara{}, ots::CalibPara{}, 0, &kCameraIdentity); },
         {setCommandOpen}},
        {"GetScreenProperty camera",
         [] { return GetScreenProperty(&block, 0, &kCameraIdentity); },
         {setCommandOpen}},
        {"GetVersion", [] { return GetVersion(0, &block, 0, 0); }, {setCommandOpen}},
    };
}

class NoDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { ce::host::ResetRegistry(); }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::DebugCapture capture_;
};

TEST_F(NoDriverTest, EveryFunctionWritesItsOpenFailureAndFails) {
    for (const NoDriverCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        capture_.Clear();
        EXPECT_FALSE(c.call());
        std::vector<std::string> expected;
        for (const Expected& line : c.lines) {
            EXPECT_EQ(capture_.Lines(line.channel), std::vector<std::string>{line.line});
            expected.push_back(line.line);
        }
        EXPECT_EQ(capture_.Lines(), expected) << "nothing else, on either channel";
    }
}

TEST_F(NoDriverTest, ScreenPropertyOfAnyOtherControllerIsAZeroBlockWithoutTheDevice) {
    for (const ots::DeviceIdentity* identity : {&kCoordinateIdentity, &kSecondStreamIdentity,
                                                static_cast<const ots::DeviceIdentity*>(nullptr)}) {
        VendorBlock block;
        block.fill(0xEE);
        EXPECT_TRUE(GetScreenProperty(&block, 0, identity));
        EXPECT_EQ(block, VendorBlock{});
    }
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(NoDriverTest, AClass2RequestNeverReachesTheOpen) {
    const auto read = MakeVendorCommand(2, 0x30, 0, nullptr, 0);
    ASSERT_TRUE(read);
    EXPECT_FALSE(SetCommand(0, *read, 1));
    EXPECT_TRUE(capture_.Lines().empty()) << "an open would have failed and said so";
}

}  // namespace
}  // namespace paneltest
