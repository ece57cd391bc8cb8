#include "fault_rig.h"

#include <filesystem>

#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "ce/host/usb_host.h"
#include "protocol/control_codes.h"

namespace faults {

Counts CountNow() {
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return {ce::host::LiveHandleCount(),
            static_cast<std::size_t>(std::distance(begin(tasks), end(tasks))),
            ce::host::LiveLocalBlockCount()};
}

Counts CountsBackTo(const Counts& expected) {
    Counts now = CountNow();
    WaitUntil([&] { return (now = CountNow()) == expected; }, std::chrono::seconds(30));
    return now;
}

std::ostream& operator<<(std::ostream& out, const Counts& c) {
    return out << "{handles " << c.handles << ", threads " << c.threads << ", blocks " << c.blocks
               << "}";
}

void FaultTest::SetUp() {
    ots::test::IntegrationTest::SetUp();
    // One whole life first, so that threads the stack keeps for good are in the baseline.
    MakeCamera();
    Plug();
    Unplug();
    MakeCamera();
    baseline_ = CountNow();
}

void FaultTest::TearDown() {
    Unplug();
    ots::test::IntegrationTest::TearDown();
}

void FaultTest::MakeCamera(ots::sim::Pacing pacing) {
    ots::sim::CameraDeviceOptions options;
    options.pacing = pacing;
    camera_ = std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(), nullptr,
                                                       options);
    tap_ = std::make_shared<ots::test::BusTap>(camera_);
}

void FaultTest::PlugInBackground() {
    const auto before = ce::host::PluggedUsbDevices().size();
    plugger_ = std::thread([this] { ce::host::PlugUsbDevice(tap_); });
    ASSERT_TRUE(WaitUntil([&] { return ce::host::PluggedUsbDevices().size() > before; }));
}

void FaultTest::Plug() {
    PlugInBackground();
    plugger_.join();
}

void FaultTest::Unplug() {
    for (ce::host::UsbDeviceId id : ce::host::PluggedUsbDevices()) {
        ce::host::UnplugUsbDevice(id);
    }
    if (plugger_.joinable()) {
        plugger_.join();
    }
}

bool FaultTest::TapPresses() {
    recorder_.Clear();
    camera_->Tap(400, 300);
    return camera_->Settle(ots::test::kSettleMs) && recorder_.WaitForCount(1, ots::test::kSettleMs);
}

void FaultTest::ExpectCleanAndNextPlugWorks() {
    EXPECT_EQ(CountsBackTo(baseline_), baseline_);
    MakeCamera();
    Plug();
    EXPECT_EQ(ots::test::GetRecord(IOCTL_GET_DEVICE_ID, 6),
              (ots::test::Bytes{0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}));
    EXPECT_TRUE(TapPresses()) << "a tap after the fault gave no input";
}

}  // namespace faults
