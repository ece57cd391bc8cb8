// Plugging and unplugging simulated coordinate controllers with the driver installed.
#include <gtest/gtest.h>

#include <thread>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "ce/host/registry_store.h"
#include "ce/host/usb_host.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "support/bus.h"
#include "support/records.h"
#include "support/registry_probe.h"

namespace ots::test {
namespace {

const std::wstring kPorts = ots::kPortsKey;
const std::wstring kLoadClient =
    L"Drivers\\USB\\LoadClients\\Default\\Default\\255_255_255\\OtsUSB_Class";

class LifecycleTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(LifecycleTest, InstallRegistersForEveryVendorSpecificInterface) {
    EXPECT_EQ(ReadString(kLoadClient, L"DLL"), L"libotsusb.so");
    EXPECT_TRUE(install_->Uninstall());
    EXPECT_FALSE(KeyExists(kLoadClient));
    EXPECT_TRUE(KeyExists(ots::kClientDriverKey)) << "the platform's values stay";
}

TEST_F(LifecycleTest, PluggedControllerIsClaimedWithItsStreamPortAndSettings) {
    PluggedController controller;
    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(controller.id()));
    ASSERT_EQ(ce::host::ListActiveDevices().size(), 1u);
    EXPECT_EQ(ce::host::ListActiveDevices()[0].name, L"OTS1:");
    EXPECT_EQ(ReadString(kPorts, L"Port1"), L"OTS1:");
    const Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58);
    ASSERT_EQ(config.size(), 58u);
    EXPECT_EQ(config[0], 2) << "Mode";
    EXPECT_EQ(ots::LoadU32(config, 30), 500u) << "DoubleClickTime";
    {
        StreamHandle first;
        ASSERT_TRUE(first.ok()) << first.error();
        StreamHandle second;
        EXPECT_FALSE(second.ok()) << "one client at a time";
        EXPECT_EQ(second.error(), 5u);
    }
    StreamHandle third;
    EXPECT_TRUE(third.ok()) << third.error();
    third.Close();

    controller.Unplug();
    EXPECT_TRUE(ce::host::ListActiveDevices().empty());
    EXPECT_FALSE(ReadString(kPorts, L"Port1").has_value()) << "the port is released";
}

TEST_F(LifecycleTest, UnplugWhileOpenRefusesNewOpensAndTearsDownAfterASecond) {
    ce::host::ScopedTimeScale scale(0.2);  // the one-second grace lasts 200 ms here
    PluggedController controller;
    StreamHandle client;
    ASSERT_TRUE(client.ok());
    const std::string registryBefore = ce::host::ExportRegText(ots::kClientDriverKey);
    const double before = ce::host::PlatformNowMs();
    std::thread unplug([&] { controller.Unplug(); });

    // During the grace the handle still reaches the driver, which serves nothing and says so;
    // after it the instance is gone.
    Bytes identity;
    do {
        identity.assign(6, 0xEE);
    } while (client.Io(IOCTL_GET_DEVICE_ID, nullptr, &identity));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(identity, Bytes(6, 0xEE));
    Bytes record = Pattern(58, 4);
    EXPECT_FALSE(client.Io(IOCTL_SET_DRIVER_CONFIG, &record, nullptr));
    StreamHandle late;
    EXPECT_FALSE(late.ok());
    EXPECT_EQ(late.error(), 5u) << "refused while closing";

    unplug.join();
    EXPECT_GE(ce::host::PlatformNowMs() - before, 1000.0);
    EXPECT_EQ(ce::host::ExportRegText(ots::kClientDriverKey), registryBefore) << "nothing saved";
    EXPECT_FALSE(client.Io(IOCTL_GET_DEVICE_ID, nullptr, &identity)) << "the instance is gone";
    StreamHandle afterwards;
    EXPECT_FALSE(afterwards.ok());
    EXPECT_EQ(afterwards.error(), 2u);
}

// Unplugging a controller while its reader is busy: the reader has ended before its report pipe
// is closed, so it never resets or resubmits on a pipe the USB stack has already freed, and
// nothing the driver took is left.
TEST_F(LifecycleTest, UnplugWhileReadingMakesNoCallOnTheClosedPipeAndFreesEverything) {
    const ce::host::DebugCapture debug;
    const std::int64_t blocks = ce::host::LiveLocalBlockCount();
    const std::size_t handles = ce::host::LiveHandleCount();
    for (int i = 0; i < 3; ++i) {
        PluggedController controller;
        controller.panel().SetPacing(ots::sim::Pacing::AsFastAsTaken);
        controller.panel().Drag(100, 100, 700, 500, 5000);
        ASSERT_TRUE(controller.panel().WaitReportsSent(20, kSettleMs));
        controller.Unplug();
    }
    EXPECT_FALSE(debug.Contains("on closed pipe"));
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), blocks);
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);
    EXPECT_TRUE(ce::host::ListActiveDevices().empty());
}

// A controller whose stream instance cannot start (all nine ports taken): attach frees what it
// built and refuses the device, so failed attaches never use up the driver.
TEST_F(LifecycleTest, FailedActivationFreesTheContextAndLeavesTheDeviceUnclaimed) {
    for (int n = 1; n <= 9; ++n) {
        WriteString(kPorts, L"Port" + std::to_wstring(n), L"XYZ");
    }
    const std::int64_t blocks = ce::host::LiveLocalBlockCount();
    for (int i = 0; i < 17; ++i) {  // more than the driver has context slots
        PluggedController controller;
        EXPECT_FALSE(ce::host::IsUsbDeviceClaimed(controller.id()));
    }
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), blocks);
    const RegKey ports(kPorts);
    ASSERT_EQ(RegDeleteValueW(ports.hKey, L"Port9"), ERROR_SUCCESS);
    PluggedController controller;
    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(controller.id()));
}

}  // namespace
}  // namespace ots::test
