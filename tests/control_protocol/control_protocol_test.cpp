// The stream device's control codes end to end, as a client issues them through CreateFile and
// DeviceIoControl, against both controller generations on one bus: the camera controller is
// plugged first and becomes "OTS1:", a coordinate controller second and becomes "OTS2:".
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ce/host/clock.h"
#include "ce/host/registry_store.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "sim/camera_blocks.h"
#include "sim/camera_device.h"
#include "sim/camera_nvm.h"
#include "support/bus.h"
#include "support/golden.h"
#include "support/records.h"
#include "support/registry_probe.h"

namespace ots::test {
namespace {

constexpr DWORD kScreenWidth = 1024;  // ScreenConfig of the coordinate generation
constexpr DWORD kScreenHight = 768;

// The parameter: the camera generation, else the coordinate one.
class ControlProtocolTest : public IntegrationTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        IntegrationTest::SetUp();
        WriteDword(kScreenConfigKey, L"width", kScreenWidth);
        WriteDword(kScreenConfigKey, L"hight", kScreenHight);
        const double before = ce::host::PlatformNowMs();
        PlugCamera();
        // The camera settles five seconds first, and keeps its own calibration and device record.
        EXPECT_GE(ce::host::PlatformNowMs() - before, 5000.0);
        for (const wchar_t* key : {kCalibParaXKey, kCalibParaYKey, kDeviceConfigKey}) {
            EXPECT_FALSE(KeyExists(key)) << "loaded for the camera";
        }
        coordinate_ = std::make_unique<PluggedController>();
        ForgetTraffic();
    }
    void TearDown() override {
        cameraPlug_.reset();
        coordinate_.reset();
        IntegrationTest::TearDown();
    }
    bool camera() const { return GetParam(); }
    const wchar_t* device() const { return camera() ? L"OTS1:" : L"OTS2:"; }
    const wchar_t* otherDevice() const { return camera() ? L"OTS2:" : L"OTS1:"; }

    // Attach, with its pause and the controller's initialisation, is over on return. The camera
    // keeps its memory across replugs.
    void PlugCamera() {
        cameraPlug_.reset();
        camera_ = std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(), nvm_);
        cameraPlug_.emplace(camera_);
    }
    void Replug() {
        if (camera()) {
            PlugCamera();
        } else {
            coordinate_.reset();
            coordinate_ = std::make_unique<PluggedController>();
        }
    }

    // Commands (the coordinate generation: control requests) that reached this generation's
    // controller since ForgetTraffic.
    std::size_t VendorTraffic() const {
        return camera() ? camera_->Firmware().CommandLog().size()
                        : coordinate_->panel().ControlRequests().size() - coordinateBaseline_;
    }
    // The bytes of every command the camera's firmware received since ForgetTraffic, in order.
    std::vector<Bytes> CameraCommands() const {
        std::vector<Bytes> commands;
        for (const ots::sim::CommandRecord& record : camera_->Firmware().CommandLog()) {
            commands.push_back(record.bytes);
        }
        return commands;
    }
    void ForgetTraffic() {
        camera_->Firmware().ClearCommandLog();
        coordinateBaseline_ = coordinate_->panel().ControlRequests().size();
    }

    ce::host::ScopedTimeScale fast_{0.01};
    std::shared_ptr<ots::sim::CameraNvm> nvm_ = std::make_shared<ots::sim::CameraNvm>();
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> cameraPlug_;
    std::unique_ptr<PluggedController> coordinate_;
    std::size_t coordinateBaseline_ = 0;
};

// The driver configuration and each calibration axis stored under their own keys, field by
// field as REG_DWORDs (the registry after each set); the live driver configuration whole, each
// controller's its own, and only its named fields surviving a replug.
// Regenerate: OTS_REGOLDEN=1 test_control_protocol --gtest_filter=*RecordsAreStored*
TEST_P(ControlProtocolTest, RecordsAreStoredUnderTheirOwnKeysAndOnlyNamedFieldsSurviveAReplug) {
    Bytes written = Pattern(58, 5);
    written[1] = 0;  // EnableTouch off
    written[9] = 0;  // not calibrating: a calibration session changes the live record only
    const Bytes otherBefore = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, otherDevice());
    std::string registry;
    for (const auto& [code, record] : {std::pair{IOCTL_SET_DRIVER_CONFIG, written},
                                       {IOCTL_SET_CALIB_PARA_Y, Pattern(58, 0x21)},
                                       {IOCTL_SET_CALIB_PARA_X, Pattern(58, 0x42)}}) {
        ASSERT_TRUE(SetRecord(code, record, device()));
        registry += ce::host::ExportRegText(kClientDriverKey);
    }
    ExpectGolden(registry, OTS_GOLDEN_DIR "records.reg");  // the same for both generations
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, device()), written)
        << "all 58 bytes, the reserved ones included";
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, otherDevice()), otherBefore);
    // A panel that dies in calibration mode leaves the user's own settings stored.
    Bytes calibrating = written;
    calibrating[0] = 1;
    calibrating[9] = 1;
    ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, calibrating, device()));
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, device()), calibrating);
    EXPECT_EQ(ce::host::ExportRegText(kClientDriverKey),
              registry.substr(registry.rfind("Windows")));
    Replug();
    std::fill(written.begin() + 38, written.end(), 0);  // reserved: never stored
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, device()), written);
}

// Attach and reinitialisation both start the sensor afresh, whatever was saved in between.
TEST_P(ControlProtocolTest, DeviceConfigIsSavedAndReinitialisationStartsTheSensorAfresh) {
    // Not calibrated, bounded by the camera's own panel or by the screen.
    const ots::sim::PanelParams panel = camera_->Panel().panel;
    Bytes expected(58, 0);
    StoreU16(expected, 6, static_cast<WORD>(camera() ? panel.PanelWidth : kScreenWidth));
    StoreU16(expected, 8, static_cast<WORD>(camera() ? panel.PanelHeight : kScreenHight));
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, device()), expected) << "after attach";
    Bytes record = Pattern(58, 3);
    record[10] = 0;  // not calibrated: cleared at initialisation
    ASSERT_TRUE(SetRecord(IOCTL_SET_DEVICE_CONFIG, record, device()));
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, device()), record);
    EXPECT_EQ(ReadDword(kDeviceConfigKey, L"MaxX"), LoadU16(record, 6));
    EXPECT_EQ(ReadDword(kDeviceConfigKey, L"OffY"), LoadU32(record, 15));
    ForgetTraffic();
    {
        StreamHandle handle(device());
        EXPECT_TRUE(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    }
    if (camera()) {
        EXPECT_EQ(CameraCommands(),
                  (std::vector<Bytes>{Framed(1, 0x71, 0, {1}), Framed(1, 0x71, 1, {1}),
                                      Framed(2, 0x30, 1), Framed(2, 0x14, 0), Framed(2, 0x14, 1),
                                      Framed(1, 0x71, 0, {0}), Framed(1, 0x71, 1, {0})}));
    } else {
        EXPECT_EQ(VendorTraffic(), 0u) << "nothing is sent to it";
    }
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, device()), expected);
    if (camera()) {
        camera_->Firmware().DropAnswers(ots::sim::kEveryAnswer);
        StreamHandle handle(device());
        EXPECT_FALSE(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr)) << "a silent sensor";
    }
}

TEST_P(ControlProtocolTest, CommandCodesPassTheControllersAnswerBack) {
    StreamHandle handle(device());
    Bytes read = Framed(2, 0x32, 0);
    Bytes reply(64, 0xEE);
    Bytes bracket = Framed(1, 0x71, 0, {1});
    Bytes echo(64, 0xEE);
    if (!camera()) {
        // A controller without the command protocol stalls them: every attempt fails and the
        // caller's reply buffer is not written.
        EXPECT_FALSE(handle.Io(IOCTL_GET_COMMAND, &read, &reply));
        EXPECT_FALSE(handle.Io(IOCTL_SET_COMMAND, &bracket, &echo));
        EXPECT_EQ(reply, Bytes(64, 0xEE));
        EXPECT_EQ(echo, Bytes(64, 0xEE));
        EXPECT_EQ(VendorTraffic(), 2u * 5u) << "five attempts each";
        return;
    }
    ASSERT_TRUE(handle.Io(IOCTL_GET_COMMAND, &read, &reply));
    const ots::sim::Block version = ots::sim::EncodeVersionBlock(camera_->Panel().version);
    EXPECT_EQ(reply, BlockResponse(0x12, 0x32, 0, Bytes(version.begin(), version.end())));
    ASSERT_TRUE(handle.Io(IOCTL_SET_COMMAND, &bracket, &echo));
    EXPECT_EQ(echo, BlockResponse(0x11, 0x71, 0, {1}));
    Bytes longest = Framed(1, 0x31, 1, Bytes(58, 0x42));  // a whole packet
    handle.Io(IOCTL_SET_COMMAND, &longest, &echo);
    const std::vector<Bytes> received = CameraCommands();
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(received.begin(), received.begin() + 3),
              (std::vector<Bytes>{read, bracket, longest}))
        << "passed on unchanged";
}

// Each controller has its own stream instance and port, admits its own client while the other
// has one, answers with its own identity, and does nothing for codes it does not serve.
TEST_P(ControlProtocolTest, EachControllerServesItsOwnClientAndNoOtherCodes) {
    EXPECT_EQ(ReadString(kPortsKey, camera() ? L"Port1" : L"Port2"), device());
    const Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, device());
    StreamHandle other(otherDevice());
    StreamHandle handle(device());
    ASSERT_TRUE(other.ok() && handle.ok());
    for (DWORD function = 0x80A; function <= 0x80F; ++function) {
        Bytes in = Pattern(58, 2);
        Bytes out(64, 0xEE);
        EXPECT_TRUE(handle.Io(CTL_CODE(kOtsDeviceType, function, METHOD_BUFFERED, FILE_ANY_ACCESS),
                              &in, &out))
            << function;
        EXPECT_EQ(out, Bytes(64, 0xEE));
    }
    EXPECT_EQ(handle.Get(IOCTL_GET_DRIVER_CONFIG, 58), config);
    EXPECT_EQ(VendorTraffic(), 0u);
    EXPECT_EQ(handle.Get(IOCTL_GET_DEVICE_ID, 6),
              (camera() ? Bytes{0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}
                        : Bytes{0x17, 0x5A, 0x01, 0x01, 0x00, 0x01}));
}

constexpr std::size_t kNull = SIZE_MAX;

// Buffers shorter than the code's record, command packets outside 6..64 bytes, replies under
// 64 bytes and missing buffers: none is read or written past its end.
TEST_P(ControlProtocolTest, RefusedBuffersFailWithInvalidParameterAndChangeNothing) {
    const struct {
        const char* name;
        DWORD code;
        std::size_t inputSize;  // kNull: a null buffer
        std::size_t outputSize;
    } rows[] = {
        {"mouse-up data short", IOCTL_GET_MOUSE_UP_DATA, kNull, 12},
        {"driver config out short", IOCTL_GET_DRIVER_CONFIG, kNull, 57},
        {"driver config out null", IOCTL_GET_DRIVER_CONFIG, kNull, kNull},
        {"device id short", IOCTL_GET_DEVICE_ID, kNull, 5},
        {"device config out short", IOCTL_GET_DEVICE_CONFIG, kNull, 57},
        {"driver config in short", IOCTL_SET_DRIVER_CONFIG, 57, kNull},
        {"driver config in null", IOCTL_SET_DRIVER_CONFIG, kNull, kNull},
        {"calib x short", IOCTL_SET_CALIB_PARA_X, 57, kNull},
        {"device config in short", IOCTL_SET_DEVICE_CONFIG, 57, kNull},
        {"command too long", IOCTL_SET_COMMAND, 65, 64},
        {"command too short", IOCTL_GET_COMMAND, 5, 64},
        {"command null", IOCTL_GET_COMMAND, kNull, 64},
        {"reply short", IOCTL_GET_COMMAND, 6, 63},
        {"reply null", IOCTL_SET_COMMAND, 7, kNull},
    };
    const std::string registryBefore = ce::host::ExportRegText(kClientDriverKey);
    const Bytes configBefore = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, device());
    const Bytes deviceBefore = GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, device());
    ForgetTraffic();
    StreamHandle handle(device());
    for (const auto& row : rows) {
        // A valid command where a command is asked for, so that only the size is at fault.
        Bytes in = row.inputSize == kNull ? Bytes{} : Pattern(row.inputSize, 7);
        if ((row.code == IOCTL_GET_COMMAND || row.code == IOCTL_SET_COMMAND) &&
            row.inputSize >= 6 && row.inputSize <= 64) {
            in =
                Framed(row.code == IOCTL_SET_COMMAND ? 1 : 2, 0x32, 0, Bytes(row.inputSize - 6, 0));
        }
        Bytes out = row.outputSize == kNull ? Bytes{} : Bytes(row.outputSize, 0xEE);
        SetLastError(0);
        EXPECT_FALSE(handle.Io(row.code, row.inputSize == kNull ? nullptr : &in,
                               row.outputSize == kNull ? nullptr : &out))
            << row.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << row.name;
        EXPECT_EQ(out, Bytes(out.size(), 0xEE)) << row.name;
    }
    EXPECT_EQ(handle.Get(IOCTL_GET_DRIVER_CONFIG, 58), configBefore);
    EXPECT_EQ(handle.Get(IOCTL_GET_DEVICE_CONFIG, 58), deviceBefore);
    EXPECT_EQ(ce::host::ExportRegText(kClientDriverKey), registryBefore);
    EXPECT_EQ(VendorTraffic(), 0u) << "no command reached the controller";
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, ControlProtocolTest, ::testing::Bool(),
                         [](const auto& p) {
                             return std::string(p.param ? "Camera" : "Coordinate");
                         });

}  // namespace
}  // namespace ots::test
