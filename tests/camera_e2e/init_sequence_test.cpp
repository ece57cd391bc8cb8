// Initialisation of a camera controller as the controller sees it: the command exchange at
// attach, a controller that never answers, re-initialisation through the stream device, and
// a stored device configuration that is not calibrated.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "camera_bus.h"
#include "protocol/calib_para.h"
#include "protocol/control_codes.h"
#include "protocol/device_config.h"
#include "protocol/vendor_command.h"
#include "sim_camera/camera_test_support.h"

namespace camera_e2e {
namespace {

using camtest::Hex;
using ots::sim::CommandOutcome;
using ots::sim::CommandRecord;
using Bytes = std::vector<std::uint8_t>;

constexpr double kAttachPauseMs = 5000.0;
// Each attempt sleeps 20 ms before the command and 40 ms before fetching the answer.
constexpr double kBeforeCommandMs = 20.0;
constexpr double kAttemptMs = 60.0;
constexpr int kAttempts = 5;
// The platform clock is read on other threads than the one that slept.
constexpr double kClockSlackMs = 0.5;

struct Exchange {
    const char* what;
    Bytes command;
};

// The attach sequence written out from the command table, checksums by hand.
const std::vector<Exchange> kAttachScript = {
    {"open camera 0", {0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}},
    {"open camera 1", {0xAA, 0x01, 0x71, 0x02, 0x01, 0x01, 0x75}},
    {"read CameraParams0", {0xAA, 0x02, 0x10, 0x01, 0x00, 0x12}},
    {"read CameraParams1", {0xAA, 0x02, 0x10, 0x01, 0x01, 0x13}},
    {"read PanelParams", {0xAA, 0x02, 0x30, 0x01, 0x00, 0x32}},
    {"read DeviceConfig", {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}},
    {"read calibration x", {0xAA, 0x02, 0x14, 0x01, 0x00, 0x16}},
    {"read calibration y", {0xAA, 0x02, 0x14, 0x01, 0x01, 0x17}},
    {"close camera 0", {0xAA, 0x01, 0x71, 0x02, 0x00, 0x00, 0x73}},
    {"close camera 1", {0xAA, 0x01, 0x71, 0x02, 0x01, 0x00, 0x74}},
};

// Compares the firmware's command log with a script, exchange by exchange, and dumps both
// sides where they part.
void ExpectTranscript(const std::vector<CommandRecord>& log, const std::vector<Exchange>& script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
        SCOPED_TRACE(script[i].what);
        ASSERT_LT(i, log.size()) << "missing: " << Hex(script[i].command);
        EXPECT_EQ(log[i].bytes, script[i].command)
            << "received: " << Hex(log[i].bytes) << "\nexpected: " << Hex(script[i].command);
        EXPECT_EQ(log[i].outcome, CommandOutcome::Answered) << log[i].Text();
        EXPECT_FALSE(log[i].outsideBracket) << log[i].Text();
    }
    for (std::size_t i = script.size(); i < log.size(); ++i) {
        ADD_FAILURE() << "left over: " << log[i].Text();
    }
}

// Commands arrive no faster than one attempt apart.
void ExpectAttemptSpacing(const std::vector<CommandRecord>& log) {
    for (std::size_t i = 1; i < log.size(); ++i) {
        EXPECT_GE(log[i].platformMs - log[i - 1].platformMs, kAttemptMs - kClockSlackMs)
            << "between " << log[i - 1].Text() << " and " << log[i].Text();
    }
}

Bytes Command(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& payload) {
    Bytes command(ots::kVendorPacketSize);
    command.resize(
        ots::BuildVendorCommand(cls, code, index, payload.data(), payload.size(), command));
    return command;
}

Bytes Encoded(const ots::DeviceConfig& config) {
    Bytes bytes(ots::kDeviceConfigSize);
    ots::EncodeDeviceConfig(config, std::span<std::uint8_t, ots::kDeviceConfigSize>(bytes));
    return bytes;
}

Bytes Encoded(const ots::CalibPara& calib) {
    Bytes bytes(ots::kCalibParaSize);
    ots::EncodeCalibPara(calib, std::span<std::uint8_t, ots::kCalibParaSize>(bytes));
    return bytes;
}

ots::sim::Block BlockOf(const Bytes& bytes) {
    ots::sim::Block block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

// A calibration that halves the raw range and shifts it, so that mapped points are told
// apart from raw ones at a glance.
ots::CalibPara HalvingX() {
    ots::CalibPara x{};
    x.A10 = 0.5f;
    x.A00 = 4000.0f;
    return x;
}
ots::CalibPara HalvingY() {
    ots::CalibPara y{};
    y.A01 = 0.5f;
    y.A00 = 3000.0f;
    return y;
}

// A calibrated device configuration whose bounds span the whole 800 x 600 panel.
ots::DeviceConfig CalibratedConfig(std::uint8_t isCalibrated) {
    ots::DeviceConfig config{};
    config.DeviceID = 1;
    config.MaxX = 800;
    config.MaxY = 600;
    config.IsCalibrated = isCalibrated;
    config.ResolutionX = 800;
    config.ResolutionY = 600;
    return config;
}

// The first press of a touch, as the driver injects it in mouse emulation (Mode 2).
struct Press {
    DWORD dx;
    DWORD dy;
};

class CameraInitTest : public CameraBusTest {
  protected:
    // Touches (400, 300) for the given time, lifts, and returns the press it produced.
    std::optional<Press> TapAndPress(double holdMs) {
        recorder_.Clear();
        camera().Tap(400, 300, holdMs);
        Settle();
        const auto presses = EventsWithFlags(kMoveDown);
        if (presses.empty()) {
            return std::nullopt;
        }
        return Press{presses.front().dx, presses.front().dy};
    }

    // Sends one vendor command through the stream device, as the control panel does.
    bool SendCommand(const Bytes& command) {
        it::StreamHandle handle;
        if (!handle.ok()) {
            return false;
        }
        Bytes in = command;
        Bytes reply(ots::kVendorPacketSize);
        return handle.Io(IOCTL_SET_COMMAND, &in, &reply) != FALSE;
    }

    bool Reinit() {
        it::StreamHandle handle;
        return handle.ok() && handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr) != FALSE;
    }
};

TEST_F(CameraInitTest, AttachReadsEveryBlockInsideTheBracketAfterTheSettlePause) {
    auto device = MakeCamera();
    const double pluggedAt = ce::host::PlatformNowMs();
    Plug(device);
    const std::vector<CommandRecord> log = camera().Firmware().CommandLog();
    ExpectTranscript(log, kAttachScript);
    ASSERT_FALSE(log.empty());
    EXPECT_GE(log.front().platformMs - pluggedAt, kAttachPauseMs + kBeforeCommandMs - kClockSlackMs)
        << "the first command comes after the pause and the first attempt's 20 ms";
    ExpectAttemptSpacing(log);
    EXPECT_FALSE(camera().Firmware().IsBracketed(0));
    EXPECT_FALSE(camera().Firmware().IsBracketed(1));
}

TEST_F(CameraInitTest, SilentControllerStopsTheInitAtTheFirstCommand) {
    auto device = MakeCamera();
    device->Firmware().DropAnswers(ots::sim::kEveryAnswer);
    const double pluggedAt = ce::host::PlatformNowMs();
    Plug(device);
    const double attachMs = ce::host::PlatformNowMs() - pluggedAt;

    // Five attempts of the first command, then nothing more.
    const std::vector<CommandRecord> log = camera().Firmware().CommandLog();
    ASSERT_EQ(log.size(), static_cast<std::size_t>(kAttempts)) << camera().Firmware().Transcript();
    for (const CommandRecord& record : log) {
        EXPECT_EQ(record.bytes, kAttachScript.front().command) << record.Text();
        EXPECT_EQ(record.outcome, CommandOutcome::AnswerDropped) << record.Text();
    }
    ExpectAttemptSpacing(log);
    EXPECT_GE(attachMs, kAttachPauseMs + kAttempts * kAttemptMs - kClockSlackMs);

    // Nothing was applied: no geometry, so the cameras' shadows give no touch and nothing is
    // injected, and the device configuration is still the zero-filled one.
    camera().Tap(400, 300, 300);
    camera().Drag(100, 100, 700, 500, 300);
    Settle();
    EXPECT_GT(camera().PacketsSent(), 100u);
    EXPECT_EQ(recorder_.Count(), 0u);
    EXPECT_EQ(it::GetRecord(IOCTL_GET_DEVICE_CONFIG, ots::kDeviceConfigSize),
              Bytes(ots::kDeviceConfigSize, 0));
}

TEST_F(CameraInitTest, ReinitActivatesTheCalibrationStoredInTheController) {
    Plug(MakeCamera());
    const std::optional<Press> raw = TapAndPress(100);
    ASSERT_TRUE(raw.has_value());

    // The control panel stores a calibration in the controller; it is not in force yet.
    camera().Firmware().ClearCommandLog();
    ASSERT_TRUE(
        SendCommand(Command(1, ots::kCodeStoreDeviceConfig, 1, Encoded(CalibratedConfig(1)))));
    ASSERT_TRUE(SendCommand(Command(1, ots::kCodeStoreCalibration, 0, Encoded(HalvingX()))));
    ASSERT_TRUE(SendCommand(Command(1, ots::kCodeStoreCalibration, 1, Encoded(HalvingY()))));
    std::optional<Press> press = TapAndPress(100);
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(press->dx, raw->dx);
    EXPECT_EQ(press->dy, raw->dy);

    // Re-initialisation reads the configuration and the calibration back, and maps by them.
    camera().Firmware().ClearCommandLog();
    ASSERT_TRUE(Reinit());
    ExpectTranscript(camera().Firmware().CommandLog(),
                     {kAttachScript[0], kAttachScript[1], kAttachScript[5], kAttachScript[6],
                      kAttachScript[7], kAttachScript[8], kAttachScript[9]});
    press = TapAndPress(100);
    ASSERT_TRUE(press.has_value());
    const auto mapped = [](DWORD injected, float scale, float offset) {
        const double unmapped = injected / 2.0;  // injected positions are twice the mapped ones
        return static_cast<DWORD>(2 * static_cast<std::int32_t>(scale * unmapped + offset));
    };
    EXPECT_EQ(press->dx, mapped(raw->dx, 0.5f, 4000.0f));
    EXPECT_EQ(press->dy, mapped(raw->dy, 0.5f, 3000.0f));
    EXPECT_EQ(it::GetRecord(IOCTL_GET_DEVICE_CONFIG, ots::kDeviceConfigSize),
              Encoded(CalibratedConfig(1)));
}

TEST_F(CameraInitTest, ReinitSetsTheTapFilterUpAfresh) {
    Plug(MakeCamera());
    // With the default DoubleClickTime (500) a touch is collected for 31 frames before
    // anything is injected, so 20 frames of a still finger inject nothing.
    camera().TouchDown(400, 300);
    camera().Hold(190);
    Settle();
    EXPECT_EQ(recorder_.Count(), 0u);
    camera().TouchUp();
    Settle();
    recorder_.Clear();

    // DoubleClickTime below 16 turns the tap step into a pass-through, but only once the
    // filter is set up again by a re-initialisation.
    constexpr std::size_t kDoubleClickTimeOffset = 30;  // 500 = F4 01 00 00
    SetDriverConfigByte(kDoubleClickTimeOffset, 0);
    SetDriverConfigByte(kDoubleClickTimeOffset + 1, 0);
    camera().TouchDown(400, 300);
    camera().Hold(190);
    Settle();
    EXPECT_EQ(recorder_.Count(), 0u) << "the filter in use keeps its settings";
    camera().TouchUp();
    Settle();

    ASSERT_TRUE(Reinit());
    recorder_.Clear();
    camera().TouchDown(400, 300);
    camera().Hold(190);
    Settle();
    // Two frames of look-ahead and one history step of the spline before the first press.
    EXPECT_GE(EventsWithFlags(kMoveDown).size(), 15u);
    EXPECT_TRUE(EventsWithFlags(kUp).empty());
}

TEST_F(CameraInitTest, StoredConfigurationThatIsNotExactlyCalibratedIsCleared) {
    auto nvm = std::make_shared<ots::sim::CameraNvm>();
    ots::DeviceConfig stored = CalibratedConfig(2);
    stored.MinX = 100;
    stored.MinY = 50;
    nvm->StoreDeviceConfig(BlockOf(Encoded(stored)));
    nvm->StoreCalibration(0, BlockOf(Encoded(HalvingX())));
    nvm->StoreCalibration(1, BlockOf(Encoded(HalvingY())));
    Plug(MakeCamera(ots::sim::RealisticCameraPanel(), FrameByFrame(), nvm));

    // Everything zero but the upper bounds, which take the panel's size: MaxX 800, MaxY 600.
    Bytes expected(ots::kDeviceConfigSize, 0);
    expected[6] = 0x20;
    expected[7] = 0x03;
    expected[8] = 0x58;
    expected[9] = 0x02;
    EXPECT_EQ(it::GetRecord(IOCTL_GET_DEVICE_CONFIG, ots::kDeviceConfigSize), expected);

    // And the stored polynomials are not in force: a touch lands where the finger is.
    const std::optional<Press> press = TapAndPress(100);
    ASSERT_TRUE(press.has_value());
    const ScreenPosition at = ToScreen({kMoveDown, press->dx, press->dy, 0.0}, camera().Panel());
    EXPECT_NEAR(at.xPx, 400.0, 2.0);
    EXPECT_NEAR(at.yPx, 300.0, 2.0);
}

}  // namespace
}  // namespace camera_e2e
