// The fixture the driver core's unit tests share: device contexts created on a fake USB
// function table, and whatever a test left behind torn down.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/device_context.h"
#include "support/fake_usb.h"
#include "support/records.h"
#include "support/registry_probe.h"

namespace ots::test {

class DriverCoreTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // CreateDeviceContext on the fake (attach done, no reader), remembered for teardown.
    DEVICE_CONTEXT* Create(FakeUsb& usb);

    std::vector<DWORD> cookies_;  // contexts still to tear down
    FakeUsb usb_;
};

}  // namespace ots::test
