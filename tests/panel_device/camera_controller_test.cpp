// The panel's functions against a simulated camera controller behind the real driver: what
// ends up in the controller's memory, what the driver then does with it, and what is sent when
// something fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/alloc_counter.h"
#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "support/camera_on_bus.h"
#include "device/device_access.h"
#include "support/bus.h"
#include "panel_test_support.h"
#include "sim/camera_blocks.h"

namespace paneltest {
namespace {

using ots::test::CameraOnBus;
using ots::test::Framed;
using ots::test::ReceivedCommands;

constexpr DWORD kLeftUp = 0x8004;

template <class Record, class Encode>
ots::sim::Block Encoded(const Record& record, Encode encode) {
    ots::sim::Block block{};
    encode(record, block);
    return block;
}

// Where the panel's pointer went, in the driver's 1/32768 units (mouse_event carries twice
// that for this generation).
struct Position {
    double x;
    double y;
};

class CameraControllerTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override {
        ots::test::IntegrationTest::SetUp();
        camera_ = std::make_unique<CameraOnBus>();
        camera_->firmware().ClearCommandLog();
    }
    void TearDown() override {
        camera_.reset();
        ots::test::IntegrationTest::TearDown();
    }

    ots::sim::CameraFirmware& firmware() { return camera_->firmware(); }

    // A tap; returns where the button went up (mouse emulation, the driver's default mode).
    Position TapAt(double xPx, double yPx) {
        recorder_.Clear();
        camera_->device().Tap(xPx, yPx);
        EXPECT_TRUE(camera_->device().Settle(ots::test::kSettleMs));
        const double deadline = ce::host::PlatformNowMs() + ots::test::kSettleMs;
        while (!LastUp().has_value() && ce::host::PlatformNowMs() < deadline) {
            Sleep(5);
        }
        const auto up = LastUp();
        EXPECT_TRUE(up.has_value()) << "no left up";
        return up ? Position{up->dx / 2.0, up->dy / 2.0} : Position{-1, -1};
    }

    std::optional<ce::host::MouseEvent> LastUp() const {
        const auto events = recorder_.Events();
        const auto up = std::find_if(events.rbegin(), events.rend(),
                                     [](const auto& e) { return e.flags == kLeftUp; });
        return up == events.rend() ? std::nullopt : std::optional(*up);
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::unique_ptr<CameraOnBus> camera_;
};

TEST_F(CameraControllerTest, AFactoryControllersUnassignedDeviceIdReadsAsZero) {
    const ots::sim::Block stored = camera_->nvm().DeviceConfig();
    ASSERT_EQ(stored[0], 0xFF);
    ots::DeviceConfig config{};
    config.DeviceID = 0x42;
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    ots::sim::Block read = Encoded(config, ots::EncodeDeviceConfig);
    EXPECT_EQ(read[0], 0);
    EXPECT_TRUE(std::equal(read.begin() + 1, read.end(), stored.begin() + 1));
    EXPECT_EQ(ReceivedCommands(firmware()),
              (std::vector<Bytes>{kOpen0, kOpen1, Framed(2, 0x30, 1), kClose0, kClose1}));
}

TEST_F(CameraControllerTest, TheDriverReportsTheCameraIdentity) {
    ots::DeviceIdentity identity{};
    ASSERT_TRUE(GetDeviceID(&identity));
    EXPECT_EQ(identity.idVendor, kCameraIdentity.idVendor);
    EXPECT_EQ(identity.idProduct, kCameraIdentity.idProduct);
    EXPECT_EQ(identity.bcdDevice, kCameraIdentity.bcdDevice);
}

TEST_F(CameraControllerTest, PanelAndVersionBlocksComeFromTheController) {
    const ots::sim::CameraPanel& panel = camera_->device().Panel();
    VendorBlock block{};
    ASSERT_TRUE(GetScreenProperty(&block, 0, &kCameraIdentity));
    EXPECT_EQ(block, ots::sim::EncodePanelParams(panel.panel));
    ASSERT_TRUE(GetVersion(0, &block, 0, 0));
    EXPECT_EQ(block, ots::sim::EncodeVersionBlock(panel.version));
}

// A calibration written by the panel lives in the controller and is taken into use only when
// the driver initialises the sensor again.
TEST_F(CameraControllerTest, StoredCalibrationIsActivatedByReinitialisation) {
    const Position raw = TapAt(400, 300);
    ASSERT_GT(raw.x, 0);
    ASSERT_GT(raw.y, 0);

    ots::CalibPara calibX = ots::IdentityCalibParaX();
    ots::CalibPara calibY = ots::IdentityCalibParaY();
    calibX.A10 = 0.5f;
    calibX.A00 = 8000.0f;
    calibY.A01 = 0.5f;
    calibY.A00 = 4000.0f;
    ASSERT_TRUE(SetCalibratePara(calibX, calibY, 0, &kCameraIdentity));
    EXPECT_EQ(camera_->nvm().Calibration(0), Encoded(calibX, ots::EncodeCalibPara));
    EXPECT_EQ(camera_->nvm().Calibration(1), Encoded(calibY, ots::EncodeCalibPara));

    // Calibrated, with bounds that span the whole panel so that nothing is clamped.
    VendorBlock panelBlock{};
    ASSERT_TRUE(GetScreenProperty(&panelBlock, 0, &kCameraIdentity));
    const ots::sim::PanelParams panel = ots::sim::DecodePanelParams(panelBlock);
    ots::DeviceConfig config{};
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    config.IsCalibrated = 1;
    config.MaxX = static_cast<WORD>(panel.PanelWidth);
    config.MaxY = static_cast<WORD>(panel.PanelHeight);
    ASSERT_TRUE(SetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(camera_->nvm().DeviceConfig(), Encoded(config, ots::EncodeDeviceConfig));

    const Position stored = TapAt(400, 300);
    EXPECT_NEAR(stored.x, raw.x, 2.0) << "stored only: not in force yet";
    EXPECT_NEAR(stored.y, raw.y, 2.0);

    ASSERT_TRUE(OptUSBReinitOptcore());
    const Position mapped = TapAt(400, 300);
    EXPECT_NEAR(mapped.x, 0.5 * raw.x + 8000.0, 2.0);
    EXPECT_NEAR(mapped.y, 0.5 * raw.y + 4000.0, 2.0);
}

TEST_F(CameraControllerTest, RunningOutOfMemoryInTheBodyStillClosesTheBracket) {
    // The store's request: its index byte and the 58-byte record.
    ots::test::FailNextAllocationOf(1 + 58);
    const ots::DeviceConfig config{};
    EXPECT_FALSE(SetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_FALSE(ots::test::AllocationFailurePending());
    EXPECT_EQ(ReceivedCommands(firmware()), (std::vector<Bytes>{kOpen0, kOpen1, kClose0, kClose1}));
    EXPECT_EQ(camera_->nvm().Writes(), 0u);
    EXPECT_FALSE(firmware().IsBracketed(0));
    EXPECT_FALSE(firmware().IsBracketed(1));
}

}  // namespace
}  // namespace paneltest
