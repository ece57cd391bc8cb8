// The driver on real libusb: each case plugs simulated controllers in as device nodes that
// umockdev serves, lets the libusb bus find them, and touches them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "ce/host/libusb_bus.h"
#include "sim/recording_device.h"
#include "sim/usb_recording.h"
#include "support/camera_bus.h"
#include "support/scaled_clock.h"
#include "support/usbfs_emulation.h"

#if defined(__SANITIZE_THREAD__)
// umockdev's worker thread meets the test's threads through glib's own locks, which
// ThreadSanitizer cannot see (glib and umockdev are not instrumented): the races it reports with
// umockdev, glib or GObject on a stack are left out. The libusb backend never runs there.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libumockdev.so.0\nrace:libglib-2.0.so.0\nrace:libgobject-2.0.so.0\n";
}
#endif

namespace ots::test {
namespace {

using ots::sim::RealisticCameraPanel;
using ots::test::WaitUntil;

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
            std::string error;
            if (!recordInto_.empty()) {
                model = ots::sim::RecordingDevice::Open(std::move(model), recordInto_, &error);
                EXPECT_TRUE(model) << error;
            }
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

    std::string recordInto_;  // each device the bus plugs is recorded there (as cehost --record)
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

std::vector<std::string> CommandTexts(CameraDevice& camera) {
    std::vector<std::string> texts;
    for (const ots::sim::CommandRecord& record : camera.Firmware().CommandLog()) {
        texts.push_back(record.Text());
    }
    return texts;
}

// The camera's initialisation reaches the firmware exactly as on the simulated bus, each of
// its ten commands once, and a tap presses where the finger is.
TEST_F(LibusbBusTest, CameraInitialisesAsOnTheSimulatedBusAndATapPressesWhereTheFingerIs) {
    const auto simulated = std::make_shared<CameraDevice>();
    ce::host::ScopedUsbDevice{simulated}.Unplug();
    const auto camera =
        std::make_shared<CameraDevice>(RealisticCameraPanel(), nullptr, FrameByFrame());
    PlugAndAttach(camera);
    EXPECT_EQ(CommandTexts(*camera), CommandTexts(*simulated));
    EXPECT_EQ(camera->Firmware().CommandLog().size(), 10u);
    camera->Tap(400, 300);
    ASSERT_TRUE(camera->Settle(kSettleMs));
    ExpectPressesAt(Presses(camera->Panel()), 400, 300);
    EXPECT_EQ(Lifts(), 1u);
}

// A coordinate controller taps, drags, stalls its report endpoint and taps again: the driver
// injects through libusb exactly what it injects on the simulated bus, and the halt the stall
// left in the device is cleared, through the recorder cehost --record puts in between.
TEST_F(LibusbBusTest, CoordinateTouchesGiveWhatTheSimulatedBusGives) {
    const auto script = [this](CoordinateController& panel, ce::host::UsbPort& port) {
        recorder_.Clear();
        panel.Tap(200, 150);
        panel.Drag(100, 100, 700, 500, 300);
        EXPECT_TRUE(panel.Settle(kSettleMs));
        port.Stall(CoordinateController::kInEndpoint);
        panel.Tap(600, 450);
        EXPECT_TRUE(panel.Settle(kSettleMs));
        return InjectedEvents(recorder_);
    };
    const CoordinateControllerOptions options{.pacing = ots::sim::Pacing::AsFastAsTaken};
    PluggedController simulated(options);
    const auto expected = script(simulated.panel(), *simulated.port());
    simulated.Unplug();
    const auto panel = std::make_shared<CoordinateController>(options);
    recordInto_ = ::testing::TempDir() + "libusb-coordinate-" + std::to_string(getpid()) + ".rec";
    EmulatedUsbDevice& node = PlugAndAttach(panel);
    EXPECT_EQ(script(*panel, node), expected);
    EXPECT_GE(node.HaltsCleared(), 1u);
    std::ifstream file(recordInto_);
    const auto recording = ots::sim::ParseRecording(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    std::remove(recordInto_.c_str());
    ASSERT_TRUE(std::holds_alternative<ots::sim::UsbRecording>(recording));
    EXPECT_EQ(ots::sim::MouseEventsOf(std::get<ots::sim::UsbRecording>(recording)).size(),
              expected.size());
}

// The controller pulled out while it streams, and in the middle of its initialisation: the
// bus unplugs it, the driver frees everything, and a controller plugged next is taken.
TEST_F(LibusbBusTest, UnplugMidStreamAndMidInitialisationLeavesNothingBehind) {
    const std::size_t handles = ce::host::LiveHandleCount();
    const std::int64_t blocks = ce::host::LiveLocalBlockCount();
    for (const bool midInitialisation : {false, true}) {
        SCOPED_TRACE(midInitialisation ? "mid-initialisation" : "mid-stream");
        const auto camera = std::make_shared<CameraDevice>();
        if (midInitialisation) {
            camera->Firmware().DelayAnswers(1.0e9, 3);  // the third answer never comes
        }
        EmulatedUsbDevice& node = testbed_.Plug(camera);
        if (!bus_) {
            StartBus();
        }
        if (midInitialisation) {
            ASSERT_TRUE(WaitUntil([&] { return camera->Firmware().CommandLog().size() >= 3; }));
        } else {
            ASSERT_TRUE(WaitForDevices(1));
            camera->Drag(100, 100, 700, 500, 20000);
            ASSERT_TRUE(camera->WaitPacketsSent(40, kSettleMs));
        }
        node.Unplug();
        const std::string unplugged =
            midInitialisation ? "001/003 7e21:0c20: unplugged" : "001/002 7e21:0c20: unplugged";
        ASSERT_TRUE(WaitUntil([&] { return Report().find(unplugged) != std::string::npos; }))
            << Report();
        EXPECT_TRUE(ce::host::PluggedUsbDevices().empty());
        EXPECT_TRUE(WaitUntil([&] {
            return ce::host::LiveHandleCount() == handles &&
                   ce::host::LiveLocalBlockCount() == blocks;
        }));
    }
    const auto next =
        std::make_shared<CameraDevice>(RealisticCameraPanel(), nullptr, FrameByFrame());
    PlugAndAttach(next);
    recorder_.Clear();
    next->Tap(400, 300);
    ASSERT_TRUE(next->Settle(kSettleMs));
    ExpectPressesAt(Presses(next->Panel()), 400, 300);
}

// An interface another program holds is left alone with a message; a kernel driver bound to
// it is detached while the device is plugged and bound again when the host lets it go.
TEST_F(LibusbBusTest, AHeldInterfaceIsReportedAndABoundKernelDriverIsGivenBack) {
    const auto held = std::make_shared<CoordinateController>();
    testbed_.Plug(held, {.program = true, .kernelDriver = ""});
    StartBus();
    EXPECT_TRUE(WaitUntil([this] { return Report().find("cannot claim") != std::string::npos; }))
        << Report();
    EXPECT_THAT(Report(), ::testing::HasSubstr("001/002 5a17:0101: cannot claim interface 0: "));
    EXPECT_TRUE(bus_->Devices().empty());

    EmulatedUsbDevice& bound =
        testbed_.Plug(std::make_shared<CoordinateController>(), {.kernelDriver = "usbtouch"});
    ASSERT_TRUE(WaitForDevices(1)) << Report();
    EXPECT_TRUE(bound.KernelDriverDetached());
    EXPECT_THAT(Report(), ::testing::HasSubstr("001/003 5a17:0101: interface 0 was bound to a "
                                               "kernel driver"));
    bus_.reset();
    EXPECT_FALSE(bound.KernelDriverDetached());
}

}  // namespace
}  // namespace ots::test
