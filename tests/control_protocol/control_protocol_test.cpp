// The stream device's control codes end to end, as a client issues them through CreateFile and
// DeviceIoControl, against both controller generations on one bus: the camera controller is
// plugged first and becomes "OTS1:", a coordinate controller second and becomes "OTS2:".
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/registry_store.h"
#include "support/camera_on_bus.h"
#include "support/registry_probe.h"
#include "support/bus.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "sim/camera_blocks.h"

namespace ots::test {
namespace {

using ots::test::GetRecord;
using ots::test::SetRecord;
using ots::test::StreamHandle;

enum class Generation { Camera, Coordinate };

struct GenerationCase {
    const char* name;
    Generation generation;
    const wchar_t* device;
    const wchar_t* otherDevice;
};

const GenerationCase kCamera{"Camera", Generation::Camera, L"OTS1:", L"OTS2:"};
const GenerationCase kCoordinate{"Coordinate", Generation::Coordinate, L"OTS2:", L"OTS1:"};

constexpr DWORD kLeftUp = 0x8004;
constexpr DWORD kScreenWidth = 1024;  // ScreenConfig of the coordinate generation
constexpr DWORD kScreenHight = 768;

Bytes Pattern(std::size_t size, BYTE seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(seed + 11 * i);
    }
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// A .reg export without the section of one key.
std::string WithoutKey(const std::string& regText, const std::wstring& key) {
    const std::string header = "[HKEY_LOCAL_MACHINE\\" + Narrow(key) + "]";
    std::string kept;
    bool skipping = false;
    std::size_t at = 0;
    while (at < regText.size()) {
        std::size_t end = regText.find('\n', at);
        end = end == std::string::npos ? regText.size() : end + 1;
        const std::string line = regText.substr(at, end - at);
        if (!line.empty() && line[0] == '[') {
            skipping = line.rfind(header, 0) == 0;
        }
        if (!skipping) {
            kept += line;
        }
        at = end;
    }
    return kept;
}

class ControlProtocolTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override {
        ots::test::IntegrationTest::SetUp();
        ots::test::WriteDword(ots::kScreenConfigKey, L"width", kScreenWidth);
        ots::test::WriteDword(ots::kScreenConfigKey, L"hight", kScreenHight);
        camera_ = std::make_unique<CameraOnBus>(nvm_);
        coordinate_ = std::make_unique<ots::test::PluggedController>();
        ForgetTraffic();
    }
    void TearDown() override {
        camera_.reset();
        coordinate_.reset();
        ots::test::IntegrationTest::TearDown();
    }

    void Replug(Generation generation) {
        if (generation == Generation::Camera) {
            camera_.reset();
            camera_ = std::make_unique<CameraOnBus>(nvm_);
        } else {
            coordinate_.reset();
            coordinate_ = std::make_unique<ots::test::PluggedController>();
        }
    }

    // Vendor requests that reached a controller since ForgetTraffic.
    std::size_t VendorTraffic(Generation generation) const {
        if (generation == Generation::Camera) {
            return camera_->firmware().CommandLog().size();
        }
        const auto requests = coordinate_->panel().ControlRequests();
        return static_cast<std::size_t>(std::count_if(
                   requests.begin(), requests.end(),
                   [](const USB_DEVICE_REQUEST& r) { return (r.bmRequestType & 0x60) == 0x40; })) -
               coordinateVendorBaseline_;
    }
    void ForgetTraffic() {
        camera_->firmware().ClearCommandLog();
        coordinateVendorBaseline_ = 0;
        coordinateVendorBaseline_ = VendorTraffic(Generation::Coordinate);
    }

    void TapAndWaitForTheLift(Generation generation) {
        recorder_.Clear();
        if (generation == Generation::Camera) {
            camera_->device().Tap(400, 300);
            ASSERT_TRUE(camera_->device().Settle(ots::test::kSettleMs));
        } else {
            coordinate_->panel().Tap(400, 300);
            ASSERT_TRUE(coordinate_->panel().Settle(ots::test::kSettleMs));
        }
        const double deadline = ce::host::PlatformNowMs() + ots::test::kSettleMs;
        while (!HasLift() && ce::host::PlatformNowMs() < deadline) {
            Sleep(5);
        }
        ASSERT_TRUE(HasLift());
    }
    bool HasLift() const {
        const auto events = recorder_.Events();
        return std::any_of(events.begin(), events.end(),
                           [](const ce::host::MouseEvent& e) { return e.flags == kLeftUp; });
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::shared_ptr<ots::sim::CameraNvm> nvm_ = std::make_shared<ots::sim::CameraNvm>();
    std::unique_ptr<CameraOnBus> camera_;
    std::unique_ptr<ots::test::PluggedController> coordinate_;
    std::size_t coordinateVendorBaseline_ = 0;
};

TEST_F(ControlProtocolTest, EachControllerAnswersWithItsOwnIdentity) {
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_ID, 6, L"OTS1:"),
              (Bytes{0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}));
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_ID, 6, L"OTS2:"),
              (Bytes{0x17, 0x5A, 0x01, 0x01, 0x00, 0x01}));
}

class EachGeneration : public ControlProtocolTest,
                       public ::testing::WithParamInterface<GenerationCase> {
  protected:
    const GenerationCase& gen() const { return GetParam(); }
};

TEST_P(EachGeneration, DriverConfigRoundTripsWholeAndOnlyNamedFieldsSurviveAReplug) {
    Bytes written = Pattern(58, 5);
    written[1] = 0;  // EnableTouch off
    const Bytes otherBefore = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().otherDevice);
    ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, written, gen().device));
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().device), written)
        << "all 58 bytes, the reserved ones included";
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().otherDevice), otherBefore)
        << "each controller keeps its own live copy";

    Replug(gen().generation);
    Bytes expected = written;
    std::fill(expected.begin() + 38, expected.end(), 0);  // reserved: never stored
    EXPECT_EQ(GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().device), expected);
}

TEST_P(EachGeneration, EachCalibrationCodeWritesOnlyItsOwnKey) {
    struct Axis {
        DWORD code;
        const wchar_t* key;
        BYTE seed;
    };
    for (const Axis axis : {Axis{IOCTL_SET_CALIB_PARA_Y, ots::kCalibParaYKey, 9},
                            Axis{IOCTL_SET_CALIB_PARA_X, ots::kCalibParaXKey, 21}}) {
        SCOPED_TRACE(Narrow(axis.key));
        const std::string before = ce::host::ExportRegText();
        const Bytes record = Pattern(58, axis.seed);
        ASSERT_TRUE(SetRecord(axis.code, record, gen().device));
        EXPECT_EQ(WithoutKey(ce::host::ExportRegText(), axis.key), WithoutKey(before, axis.key));
        for (const ots::RegistryField& field : ots::CalibParaFields()) {
            EXPECT_EQ(ots::test::ReadDword(axis.key, field.name), ots::FieldToRegistry(record, field))
                << Narrow(field.name);
        }
    }
}

TEST_P(EachGeneration, DeviceConfigSetThenGetGivesTheRecordBackAndSavesIt) {
    Bytes record = Pattern(58, 1);
    record[10] = 1;  // IsCalibrated
    ASSERT_TRUE(SetRecord(IOCTL_SET_DEVICE_CONFIG, record, gen().device));
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, gen().device), record);
    EXPECT_EQ(ots::test::ReadDword(ots::kDeviceConfigKey, L"MaxX"), ots::LoadU16(record, 6));
    EXPECT_EQ(ots::test::ReadDword(ots::kDeviceConfigKey, L"OffY"), ots::LoadU32(record, 15));
}

TEST_P(EachGeneration, ReinitialisationStartsTheSensorAfresh) {
    Bytes record = Pattern(58, 3);
    record[10] = 0;  // not calibrated: cleared at initialisation
    ASSERT_TRUE(SetRecord(IOCTL_SET_DEVICE_CONFIG, record, gen().device));
    ForgetTraffic();
    {
        StreamHandle handle(gen().device);
        ASSERT_TRUE(handle.ok());
        EXPECT_TRUE(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    }
    Bytes expected(58, 0);
    if (gen().generation == Generation::Camera) {
        // The controller's own record (not calibrated either) bounded by its panel.
        const ots::sim::PanelParams panel = camera_->device().Panel().panel;
        ots::StoreU16(expected, 6, static_cast<WORD>(panel.PanelWidth));
        ots::StoreU16(expected, 8, static_cast<WORD>(panel.PanelHeight));
        EXPECT_EQ(ReceivedCommands(camera_->firmware()),
                  (std::vector<Bytes>{Framed(1, 0x71, 0, {1}), Framed(1, 0x71, 1, {1}),
                                      Framed(2, 0x30, 1), Framed(2, 0x14, 0), Framed(2, 0x14, 1),
                                      Framed(1, 0x71, 0, {0}), Framed(1, 0x71, 1, {0})}));
    } else {
        ots::StoreU16(expected, 6, static_cast<WORD>(kScreenWidth));
        ots::StoreU16(expected, 8, static_cast<WORD>(kScreenHight));
        EXPECT_EQ(VendorTraffic(Generation::Coordinate), 0u) << "nothing is sent to it";
    }
    EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, gen().device), expected);
}

TEST_P(EachGeneration, TheLastClickIsReadAndCleared) {
    Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().device);
    ASSERT_EQ(config.size(), 58u);
    config[0] = 1;  // click on release: the lift records the click
    ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, config, gen().device));
    ASSERT_NO_FATAL_FAILURE(TapAndWaitForTheLift(gen().generation));

    StreamHandle handle(gen().device);
    ASSERT_TRUE(handle.ok());
    const Bytes click = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
    EXPECT_GT(ots::LoadI32(click, 0), 0);
    EXPECT_GT(ots::LoadI32(click, 4), 0);
    EXPECT_TRUE(handle.Io(IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, nullptr));
    const Bytes cleared = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
    EXPECT_EQ(ots::LoadI32(cleared, 0), 0);
    EXPECT_EQ(ots::LoadI32(cleared, 4), 0);
    EXPECT_TRUE(std::equal(cleared.begin() + 8, cleared.end(), click.begin() + 8))
        << "only x and y are cleared";
}

TEST_P(EachGeneration, CommandCodesPassTheControllersAnswerBack) {
    StreamHandle handle(gen().device);
    ASSERT_TRUE(handle.ok());
    Bytes read = Framed(2, 0x32, 0);
    Bytes reply(64, 0xEE);
    Bytes bracket = Framed(1, 0x71, 0, {1});
    Bytes echo(64, 0xEE);
    if (gen().generation == Generation::Camera) {
        ASSERT_TRUE(handle.Io(IOCTL_GET_COMMAND, &read, &reply));
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0xAA, 0x12, 0x32, 59, 0}));
        const ots::sim::Block version =
            ots::sim::EncodeVersionBlock(camera_->device().Panel().version);
        EXPECT_TRUE(std::equal(version.begin(), version.end(), reply.begin() + 5));
        ASSERT_TRUE(handle.Io(IOCTL_SET_COMMAND, &bracket, &echo));
        EXPECT_EQ(Bytes(echo.begin(), echo.begin() + 6), (Bytes{0xAA, 0x11, 0x71, 59, 0, 1}));
        EXPECT_EQ(ReceivedCommands(camera_->firmware()), (std::vector<Bytes>{read, bracket}))
            << "passed on unchanged";
    } else {
        // A controller without the command protocol stalls them: every attempt fails and the
        // caller's reply buffer is not written.
        EXPECT_FALSE(handle.Io(IOCTL_GET_COMMAND, &read, &reply));
        EXPECT_FALSE(handle.Io(IOCTL_SET_COMMAND, &bracket, &echo));
        EXPECT_EQ(reply, Bytes(64, 0xEE));
        EXPECT_EQ(echo, Bytes(64, 0xEE));
        EXPECT_EQ(VendorTraffic(Generation::Coordinate), 2u * 5u) << "five attempts each";
    }
}

TEST_P(EachGeneration, CodesThatAreNotServedDoNothing) {
    const Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().device);
    StreamHandle handle(gen().device);
    ASSERT_TRUE(handle.ok());
    for (DWORD function = 0x80A; function <= 0x80F; ++function) {
        const DWORD code = CTL_CODE(kOtsDeviceType, function, METHOD_BUFFERED, FILE_ANY_ACCESS);
        Bytes in = Pattern(58, 2);
        Bytes out(64, 0xEE);
        EXPECT_TRUE(handle.Io(code, &in, &out)) << std::hex << code;
        EXPECT_EQ(out, Bytes(64, 0xEE));
    }
    EXPECT_EQ(handle.Get(IOCTL_GET_DRIVER_CONFIG, 58), config);
    EXPECT_EQ(VendorTraffic(gen().generation), 0u);
}

struct RefusedCase {
    const char* name;
    DWORD code;
    std::size_t inputSize;  // kNull: a null buffer
    std::size_t outputSize;
};

constexpr std::size_t kNull = SIZE_MAX;

// Buffers shorter than the code's record, command packets outside 6..64 bytes, replies under
// 64 bytes and missing buffers: none is read or written past its end.
const RefusedCase kRefused[] = {
    {"mouse-up data short", IOCTL_GET_MOUSE_UP_DATA, kNull, 12},
    {"mouse-up data null", IOCTL_GET_MOUSE_UP_DATA, kNull, kNull},
    {"driver config out short", IOCTL_GET_DRIVER_CONFIG, kNull, 57},
    {"driver config out null", IOCTL_GET_DRIVER_CONFIG, kNull, kNull},
    {"device id short", IOCTL_GET_DEVICE_ID, kNull, 5},
    {"device config out short", IOCTL_GET_DEVICE_CONFIG, kNull, 57},
    {"driver config in short", IOCTL_SET_DRIVER_CONFIG, 57, kNull},
    {"driver config in null", IOCTL_SET_DRIVER_CONFIG, kNull, kNull},
    {"calib x short", IOCTL_SET_CALIB_PARA_X, 57, kNull},
    {"calib y null", IOCTL_SET_CALIB_PARA_Y, kNull, kNull},
    {"device config in short", IOCTL_SET_DEVICE_CONFIG, 57, kNull},
    {"command too long", IOCTL_SET_COMMAND, 65, 64},
    {"command too short", IOCTL_GET_COMMAND, 5, 64},
    {"command null", IOCTL_GET_COMMAND, kNull, 64},
    {"reply short", IOCTL_GET_COMMAND, 6, 63},
    {"reply null", IOCTL_SET_COMMAND, 7, kNull},
};

TEST_P(EachGeneration, RefusedBuffersFailWithInvalidParameterAndChangeNothing) {
    const std::string registryBefore = ce::host::ExportRegText(ots::kClientDriverKey);
    const Bytes configBefore = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58, gen().device);
    const Bytes deviceBefore = GetRecord(IOCTL_GET_DEVICE_CONFIG, 58, gen().device);
    ForgetTraffic();
    StreamHandle handle(gen().device);
    ASSERT_TRUE(handle.ok());
    for (const RefusedCase& c : kRefused) {
        SCOPED_TRACE(c.name);
        // A valid command where a command is asked for, so that only the size is at fault.
        Bytes in = c.inputSize == kNull ? Bytes{} : Pattern(c.inputSize, 7);
        if ((c.code == IOCTL_GET_COMMAND || c.code == IOCTL_SET_COMMAND) && c.inputSize >= 6 &&
            c.inputSize <= 64) {
            const BYTE cls = c.code == IOCTL_SET_COMMAND ? 1 : 2;
            in = Framed(cls, 0x32, 0, Bytes(c.inputSize - 6, 0));
        }
        Bytes out = c.outputSize == kNull ? Bytes{} : Bytes(c.outputSize, 0xEE);
        SetLastError(0);
        EXPECT_FALSE(handle.Io(c.code, c.inputSize == kNull ? nullptr : &in,
                               c.outputSize == kNull ? nullptr : &out));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](BYTE b) { return b == 0xEE; }));
    }
    EXPECT_EQ(handle.Get(IOCTL_GET_DRIVER_CONFIG, 58), configBefore);
    EXPECT_EQ(handle.Get(IOCTL_GET_DEVICE_CONFIG, 58), deviceBefore);
    EXPECT_EQ(ce::host::ExportRegText(ots::kClientDriverKey), registryBefore);
    EXPECT_EQ(VendorTraffic(gen().generation), 0u) << "no command reached the controller";
}

// Pulling the controller out while a client holds the device open leaves a short closing
// window before the device goes away: every code on that handle then does nothing and fails
// with ERROR_DEVICE_NOT_CONNECTED, so that no client takes an untouched buffer for a record.
TEST_P(EachGeneration, CodesOnAControllerBeingUnpluggedFailWithoutEffect) {
    const std::string registryBefore = ce::host::ExportRegText(ots::kClientDriverKey);
    StreamHandle handle(gen().device);
    ASSERT_TRUE(handle.ok());
    ForgetTraffic();
    const ce::host::UsbDeviceId id =
        gen().generation == Generation::Camera ? camera_->id() : coordinate_->id();
    // Slow enough that the window (1000 platform ms) outlasts the calls below by far.
    const ce::host::ScopedTimeScale slow(0.5);
    std::thread unplug([id] { ce::host::UnplugUsbDevice(id); });

    const auto refusedAsClosing = [&handle](DWORD code, Bytes* in, Bytes* out) {
        SetLastError(0);
        return !handle.Io(code, in, out) && GetLastError() == ERROR_DEVICE_NOT_CONNECTED;
    };
    bool closing = false;
    for (int poll = 0; poll < 100000 && !closing; ++poll) {
        Bytes probe(58, 0xEE);
        closing =
            refusedAsClosing(IOCTL_GET_DRIVER_CONFIG, nullptr, &probe) && probe == Bytes(58, 0xEE);
    }
    EXPECT_TRUE(closing);

    Bytes record = Pattern(58, 4);
    Bytes command = Framed(2, 0x32, 0);
    for (const DWORD code :
         {IOCTL_SET_DRIVER_CONFIG, IOCTL_SET_DEVICE_CONFIG, IOCTL_SET_CALIB_PARA_X,
          IOCTL_SET_CALIB_PARA_Y, IOCTL_REINIT_OPTCORE, IOCTL_CLEAR_MOUSE_UP_DATA}) {
        EXPECT_TRUE(refusedAsClosing(code, &record, nullptr)) << std::hex << code;
    }
    for (const DWORD code : {IOCTL_GET_MOUSE_UP_DATA, IOCTL_GET_DRIVER_CONFIG, IOCTL_GET_DEVICE_ID,
                             IOCTL_GET_DEVICE_CONFIG, IOCTL_GET_COMMAND, IOCTL_SET_COMMAND}) {
        Bytes out(64, 0xEE);
        EXPECT_TRUE(refusedAsClosing(code, &command, &out)) << std::hex << code;
        EXPECT_EQ(out, Bytes(64, 0xEE)) << std::hex << code;
    }
    unplug.join();
    EXPECT_EQ(VendorTraffic(gen().generation), 0u);
    EXPECT_EQ(ce::host::ExportRegText(ots::kClientDriverKey), registryBefore) << "nothing saved";
    if (gen().generation == Generation::Camera) {
        camera_.reset();  // already gone
    } else {
        coordinate_.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, EachGeneration, ::testing::Values(kCamera, kCoordinate),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ots::test
