// The panel's functions against a simulated camera controller behind the real driver: what
// ends up in the controller's memory, what the driver then does with it, and what is sent when
// something fails.
#include <gtest/gtest.h>

#include <algorithm>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "device/device_access.h"
#include "sim/camera_blocks.h"
#include "support/alloc_counter.h"
#include "support/bus.h"
#include "support/camera_on_bus.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::Framed;

const std::vector<Bytes> kBracketOnly{Framed(1, 0x71, 0, {1}), Framed(1, 0x71, 1, {1}),
                                      Framed(1, 0x71, 0, {0}), Framed(1, 0x71, 1, {0})};

template <class Record, class Encode>
ots::sim::Block Encoded(const Record& record, Encode encode) {
    ots::sim::Block block{};
    encode(record, block);
    return block;
}

class CameraControllerTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override {
        ots::test::IntegrationTest::SetUp();
        camera_ = std::make_unique<ots::test::CameraOnBus>();
        camera_->firmware().ClearCommandLog();
    }
    void TearDown() override {
        camera_.reset();
        ots::test::IntegrationTest::TearDown();
    }

    // A tap; where the button went up, in the driver's 1/32768 units (mouse_event carries
    // twice that for this generation).
    std::pair<double, double> TapAt(double xPx, double yPx) {
        recorder_.Clear();
        camera_->device().Tap(xPx, yPx);
        EXPECT_TRUE(camera_->device().Settle(ots::test::kSettleMs));
        const double deadline = ce::host::PlatformNowMs() + ots::test::kSettleMs;
        for (;;) {
            const auto events = recorder_.Events();
            const auto up = std::find_if(events.rbegin(), events.rend(),
                                         [](const auto& e) { return e.flags == 0x8004; });
            if (up != events.rend()) {
                return {up->dx / 2.0, up->dy / 2.0};
            }
            if (ce::host::PlatformNowMs() > deadline) {
                ADD_FAILURE() << "no left up";
                return {-1.0, -1.0};
            }
            Sleep(5);
        }
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::unique_ptr<ots::test::CameraOnBus> camera_;
};

TEST_F(CameraControllerTest, RecordsAndBlocksComeFromTheController) {
    const ots::sim::Block stored = camera_->nvm().DeviceConfig();
    ASSERT_EQ(stored[0], 0xFF) << "a factory controller: no DeviceID assigned";
    ots::DeviceConfig config{};
    config.DeviceID = 0x42;
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCamera));
    ots::sim::Block read = Encoded(config, ots::EncodeDeviceConfig);
    EXPECT_EQ(read[0], 0);
    EXPECT_TRUE(std::equal(read.begin() + 1, read.end(), stored.begin() + 1));
    EXPECT_EQ(ots::test::ReceivedCommands(camera_->firmware()),
              (std::vector<Bytes>{kBracketOnly[0], kBracketOnly[1], Framed(2, 0x30, 1),
                                  kBracketOnly[2], kBracketOnly[3]}));

    const ots::sim::CameraPanel& panel = camera_->device().Panel();
    VendorBlock block{};
    ASSERT_TRUE(GetScreenProperty(&block, 0, &kCamera));
    EXPECT_EQ(block, ots::sim::EncodePanelParams(panel.panel));
    ASSERT_TRUE(GetVersion(0, &block, 0, 0));
    EXPECT_EQ(block, ots::sim::EncodeVersionBlock(panel.version));

    ots::DeviceIdentity identity{};
    ASSERT_TRUE(GetDeviceID(&identity));
    EXPECT_EQ(identity.idVendor, kCamera.idVendor);
    EXPECT_EQ(identity.idProduct, kCamera.idProduct);
    EXPECT_EQ(identity.bcdDevice, kCamera.bcdDevice);
}

// A calibration written by the panel lives in the controller and is taken into use only when
// the driver initialises the sensor again.
TEST_F(CameraControllerTest, StoredCalibrationIsActivatedByReinitialisation) {
    const auto raw = TapAt(400, 300);
    ASSERT_GT(raw.first, 0);
    ASSERT_GT(raw.second, 0);
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    ots::CalibPara calibY = ots::IdentityCalibParaY();
    calibX.A10 = 0.5f;
    calibX.A00 = 8000.0f;
    calibY.A01 = 0.5f;
    calibY.A00 = 4000.0f;
    ASSERT_TRUE(SetCalibratePara(calibX, calibY, 0, &kCamera));
    EXPECT_EQ(camera_->nvm().Calibration(0), Encoded(calibX, ots::EncodeCalibPara));
    EXPECT_EQ(camera_->nvm().Calibration(1), Encoded(calibY, ots::EncodeCalibPara));

    // Calibrated, with bounds that span the whole panel so that nothing is clamped.
    VendorBlock panelBlock{};
    ASSERT_TRUE(GetScreenProperty(&panelBlock, 0, &kCamera));
    const ots::sim::PanelParams panel = ots::sim::DecodePanelParams(panelBlock);
    ots::DeviceConfig config{};
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCamera));
    config.IsCalibrated = 1;
    config.MaxX = static_cast<WORD>(panel.PanelWidth);
    config.MaxY = static_cast<WORD>(panel.PanelHeight);
    ASSERT_TRUE(SetDeviceConfig(&config, 0, &kCamera));
    EXPECT_EQ(camera_->nvm().DeviceConfig(), Encoded(config, ots::EncodeDeviceConfig));

    const auto stored = TapAt(400, 300);
    EXPECT_NEAR(stored.first, raw.first, 2.0) << "stored only: not in force yet";
    EXPECT_NEAR(stored.second, raw.second, 2.0);
    ASSERT_TRUE(OptUSBReinitOptcore());
    const auto mapped = TapAt(400, 300);
    EXPECT_NEAR(mapped.first, 0.5 * raw.first + 8000.0, 2.0);
    EXPECT_NEAR(mapped.second, 0.5 * raw.second + 4000.0, 2.0);
}

TEST_F(CameraControllerTest, RunningOutOfMemoryInTheBodyStillClosesTheBracket) {
    ots::test::FailNextAllocationOf(1 + 58);  // the store's request: index byte and record
    const ots::DeviceConfig config{};
    EXPECT_FALSE(SetDeviceConfig(&config, 0, &kCamera));
    EXPECT_FALSE(ots::test::AllocationFailurePending());
    EXPECT_EQ(ots::test::ReceivedCommands(camera_->firmware()), kBracketOnly);
    EXPECT_EQ(camera_->nvm().Writes(), 0u);
    EXPECT_FALSE(camera_->firmware().IsBracketed(0));
    EXPECT_FALSE(camera_->firmware().IsBracketed(1));
}

}  // namespace
}  // namespace paneltest
