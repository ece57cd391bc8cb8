// The driver on real libusb: each case plugs simulated controllers in as device nodes that
// umockdev serves, lets the libusb bus find them, and touches them.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "ce/host/libusb_bus.h"
#include "support/camera_bus.h"
#include "support/usbfs_emulation.h"

namespace ots::test {
namespace {

using ots::sim::RealisticCameraPanel;

class LibusbBusTest : public CameraBusTest {
  protected:
    void SetUp() override {
        if (!InUsbfsEmulation()) {
            GTEST_SKIP()
                << "needs umockdev's preload library (LD_PRELOAD=libumockdev-preload.so.0)";
        }
        CameraBusTest::SetUp();
    }
    void TearDown() override {
        bus_.reset();
        CameraBusTest::TearDown();
    }

    // Each device the bus plugs goes through a tap, so that a case can wait for the host side.
    void StartBus() {
        ce::host::LibusbBus::Options options;
        options.report = [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            report_ += line + "\n";
        };
        options.wrap = [this](std::shared_ptr<ce::host::UsbDeviceModel> model) {
            auto tap = std::make_shared<BusTap>(std::move(model));
            std::lock_guard lock(mutex_);
            taps_.push_back(tap);
            return std::shared_ptr<ce::host::UsbDeviceModel>(tap);
        };
        std::string error;
        bus_ = ce::host::LibusbBus::Start(options, &error);
        ASSERT_TRUE(bus_) << error;
    }

    // Waits, in real time, until the bus has this many devices plugged.
    bool WaitForDevices(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (bus_->Devices().size() != count) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Plugs the device node and waits until the driver has attached to it through libusb.
    EmulatedUsbDevice& PlugAndAttach(const std::shared_ptr<ce::host::UsbDeviceModel>& model) {
        EmulatedUsbDevice& node = testbed_.Plug(model);
        const std::size_t before = bus_ ? bus_->Devices().size() : 0;
        if (!bus_) {
            StartBus();
        }
        EXPECT_TRUE(WaitForDevices(before + 1)) << Report();
        std::lock_guard lock(mutex_);
        const std::shared_ptr<BusTap> tap = taps_.back();
        node.hostIdle = [tap](DWORD timeoutMs) { return tap->port()->WaitIdle(timeoutMs); };
        return node;
    }

    std::string Report() const {
        std::lock_guard lock(mutex_);
        return report_;
    }

    UsbfsTestbed testbed_;
    std::unique_ptr<ce::host::LibusbBus> bus_;
    mutable std::mutex mutex_;
    std::string report_;
    std::vector<std::shared_ptr<BusTap>> taps_;
};

// A press lands within 3 px of the finger (half a camera pixel of rounding each way).
void ExpectPressesAt(const std::vector<ScreenPosition>& presses, double xPx, double yPx) {
    ASSERT_FALSE(presses.empty());
    for (const ScreenPosition& at : presses) {
        EXPECT_LT(std::hypot(at.xPx - xPx, at.yPx - yPx), 3.0)
            << "tap at " << xPx << ", " << yPx << " pressed at " << at.xPx << ", " << at.yPx;
    }
}

TEST_F(LibusbBusTest, CameraTapPressesWhereTheFingerIs) {
    const auto camera =
        std::make_shared<CameraDevice>(RealisticCameraPanel(), nullptr, FrameByFrame());
    PlugAndAttach(camera);
    camera->Tap(400, 300);
    ASSERT_TRUE(camera->Settle(kSettleMs));
    ExpectPressesAt(Presses(camera->Panel()), 400, 300);
    EXPECT_EQ(Lifts(), 1u);
}

}  // namespace
}  // namespace ots::test
