// A controller whose stream instance cannot start (all nine ports taken): attach frees what it
// built and refuses the device, so failed attaches never use up the driver.
#include <gtest/gtest.h>

#include <string>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/usb_host.h"
#include "ce/registry.h"
#include "protocol/registry_form.h"
#include "support/bus.h"
#include "support/registry_probe.h"

namespace ots::test {
namespace {

class FailedActivationTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(FailedActivationTest, FreesTheContextAndLeavesTheDeviceUnclaimed) {
    for (int n = 1; n <= 9; ++n) {
        ots::test::WriteString(ots::kPortsKey, L"Port" + std::to_wstring(n),
                               L"XYZ" + std::to_wstring(n));
    }
    const std::int64_t blocks = ce::host::LiveLocalBlockCount();
    for (int i = 0; i < 17; ++i) {  // more than the driver has context slots
        PluggedController controller;
        EXPECT_FALSE(ce::host::IsUsbDeviceClaimed(controller.id()));
    }
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), blocks);

    const HKEY ports = ots::test::detail::Open(ots::kPortsKey);
    ASSERT_EQ(RegDeleteValueW(ports, L"Port9"), ERROR_SUCCESS);
    RegCloseKey(ports);
    PluggedController controller;
    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(controller.id()));
}

}  // namespace
}  // namespace ots::test
