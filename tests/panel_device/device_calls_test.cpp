// The panel's device functions against the scripted stream driver, compared as one transcript:
// for each call and each way the driver answers, the result, every open, control call (code,
// input bytes, output room) and close the driver saw, the debug lines by channel, and every
// caller's record the call changed. Also the request framing bounds and the bounded wide copy.
//
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_panel_device --gtest_filter='DeviceCalls.*'
#include <gtest/gtest.h>

#include <functional>

#include "calibration/calibration_save.h"
#include "device/device_access.h"
#include "device/vendor_exchange.h"
#include "device/wide_string.h"
#include "protocol/control_codes.h"
#include "support/alloc_counter.h"
#include "support/golden.h"
#include "support/records.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::HexDump;
using ots::test::Pattern;

constexpr double kPauseMs = 20;
constexpr DWORD kSet = IOCTL_SET_COMMAND, kGet = IOCTL_GET_COMMAND;

ots::DeviceConfig gDevice;
ots::DriverConfig gDriver;
ots::DeviceIdentity gIdentity;
VendorBlock gBlock;
VendorReply gReply;
ots::CalibPara gCalibX, gCalibY;

// Every record a call may fill, by name.
std::vector<std::pair<const char*, Bytes>> Records() {
    using ots::test::Encoded;
    return {{"device", Encoded<58>(gDevice, ots::EncodeDeviceConfig)},
            {"driver", Encoded<58>(gDriver, ots::EncodeDriverConfig)},
            {"identity", Encoded<6>(gIdentity, ots::EncodeDeviceIdentity)},
            {"block", Bytes(gBlock.begin(), gBlock.end())},
            {"reply", Bytes(gReply.begin(), gReply.end())}};
}

struct Row {
    const char* name;
    std::function<BOOL()> call;
    // The code fails `times` times after `after` calls of it succeeded.
    DWORD failing = 0;
    int times = script::kAlways;
    int after = 0;
};

VendorCommandRequest Request(BYTE cls, BYTE code, BYTE index, const Bytes& data = {}) {
    auto request =
        MakeVendorCommand(cls, code, index, data.data(), static_cast<DWORD>(data.size()));
    EXPECT_TRUE(request.has_value());
    return request.value_or(VendorCommandRequest{});
}

class DeviceCalls : public ScriptedDevicesTest {
  protected:
    // Appends the row's transcript to text_.
    void Transcribe(const Row& row) {
        driver().Reset();
        Bytes reply = Pattern(64, 0x40);
        reply[5] = 0xFF;  // the camera's DeviceID: none assigned yet
        driver().SetReply(kGet, reply);
        driver().SetReply(IOCTL_GET_DEVICE_CONFIG, Pattern(58, 3));
        driver().SetReply(IOCTL_GET_DRIVER_CONFIG, Pattern(58, 11));
        driver().SetReply(IOCTL_GET_DEVICE_ID, {0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01});
        gDevice = ots::DecodeDeviceConfig(ots::test::ArrayOf<58>(Pattern(58, 0x81)));
        gDriver = ots::DecodeDriverConfig(ots::test::ArrayOf<58>(Pattern(58, 0x82)));
        gIdentity = {1, 2, 3};
        gBlock.fill(0xEE);
        gReply.fill(0xEE);
        capture_.Clear();
        if (row.failing != 0) {
            driver().FailCode(row.failing, row.times, row.after);
        }
        const auto before = Records();
        const BOOL ok = row.call();
        text_ += std::string("== ") + row.name + (ok ? ": TRUE\n" : ": FALSE\n") + Happened();
        const auto after = Records();
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (after[i] != before[i]) {
                text_ += std::string(after[i].first) + " " + HexDump(after[i].second) + "\n";
            }
        }
    }

    std::string text_;
};

TEST_F(DeviceCalls, AsTheDriverAndTheDebugOutputSawThem) {
    const ots::DeviceIdentity otherProduct{0x7E21, 0x0013, 0}, otherVendor{0x7E22, 0x0012, 0};
    gCalibX = ots::IdentityCalibParaX();
    gCalibX.A00 = -3.25f;
    gCalibY = ots::IdentityCalibParaY();
    gCalibY.reserve5 = 0x5A;
    const auto getConfig = [](const ots::DeviceIdentity* identity) {
        return [=] { return GetDeviceConfig(&gDevice, 0, identity); };
    };
    const auto setConfig = [](const ots::DeviceIdentity* identity) {
        return [=] { return SetDeviceConfig(&gDevice, 0, identity); };
    };
    const auto calibrate = [](const ots::DeviceIdentity* identity) {
        return [=] { return SetCalibratePara(gCalibX, gCalibY, 0, identity); };
    };
    const auto panel = [](const ots::DeviceIdentity* identity) {
        return [=] { return GetScreenProperty(&gBlock, 0, identity); };
    };
    const auto version = [] { return GetVersion(0, &gBlock, 0, 0); };
    const auto getDriver = [] { return GetDriverConfig(&gDriver, 0); };
    const auto setDriver = [] { return SetDriverConfig(&gDriver); };
    const auto reinit = [] { return OptUSBReinitOptcore(); };
    const auto identify = [] { return GetDeviceID(&gIdentity); };
    // A finished 4-point run saved: no failing step may leave the device marked calibrated.
    const auto save = [](const ots::DeviceIdentity* identity, bool singular = false) {
        return [=] {
            const float target[4] = {2048, 30720, 2048, 30720};
            const float other[4] = {2048, 2048, 30720, 30720};
            const float line[4] = {};  // every sample on one raw line: the fit fails
            return SaveCalibration({target, other, target, singular ? line : other, 4, 4},
                                   *identity, &gDevice);
        };
    };
    const Row everyCall[] = {
        {"GetDeviceConfig", getConfig(&kCoordinate)},
        {"SetDeviceConfig", setConfig(&kCoordinate)},
        {"SetCalibratePara", calibrate(&kCoordinate)},
        {"GetDriverConfig", getDriver},
        {"SetDriverConfig", setDriver},
        {"OptUSBReinitOptcore", reinit},
        {"GetDeviceID", identify},
        {"GetDeviceConfig, second stream", getConfig(&kSecondStream)},
        {"camera GetDeviceConfig", getConfig(&kCamera)},
        {"camera SetDeviceConfig", setConfig(&kCamera)},
        {"camera SetCalibratePara", calibrate(&kCamera)},
        {"camera GetScreenProperty", panel(&kCamera)},
        {"GetVersion", version},
        // Any other controller has no panel block: zeros, without the device.
        {"GetScreenProperty, second stream", panel(&kSecondStream)},
        {"GetScreenProperty, unknown controller", panel(nullptr)},
    };
    text_ += "# without a device\n";
    for (const Row& row : everyCall) {
        Transcribe(row);
    }
    ASSERT_EQ(Activate(), L"OTS1:");
    ASSERT_EQ(Activate(), L"OTS2:");
    text_ += "# on OTS1: and OTS2:\n";
    for (const Row& row : everyCall) {
        Transcribe(row);
    }
    const Row rows[] = {
        {"GetDeviceConfig fails", getConfig(&kCoordinate), IOCTL_GET_DEVICE_CONFIG},
        {"SetDeviceConfig fails", setConfig(&kCoordinate), IOCTL_SET_DEVICE_CONFIG},
        {"calibration x fails", calibrate(&kCoordinate), IOCTL_SET_CALIB_PARA_X},
        {"calibration y fails", calibrate(&kCoordinate), IOCTL_SET_CALIB_PARA_Y},
        {"GetDriverConfig fails", getDriver, IOCTL_GET_DRIVER_CONFIG},
        {"SetDriverConfig fails", setDriver, IOCTL_SET_DRIVER_CONFIG},
        {"OptUSBReinitOptcore fails", reinit, IOCTL_REINIT_OPTCORE},
        {"GetDeviceID fails", identify, IOCTL_GET_DEVICE_ID},
        {"save", save(&kCoordinate)},
        {"save, fit fails", save(&kCoordinate, true)},
        {"save, calibration fails", save(&kCoordinate), IOCTL_SET_CALIB_PARA_X},
        {"save, device configuration fails", save(&kCoordinate), IOCTL_SET_DEVICE_CONFIG},
        {"camera save, panel read fails", save(&kCamera), kGet, 2},
        {"other product", getConfig(&otherProduct)},
        {"other vendor", setConfig(&otherVendor)},
        {"no identity", calibrate(nullptr)},
        {"null records",
         [] {
             return GetDeviceConfig(nullptr, 0, &kCoordinate) ||
                    SetDeviceConfig(nullptr, 0, &kCoordinate) || SetDriverConfig(nullptr) ||
                    GetDriverConfig(nullptr, 0) || GetDeviceID(nullptr) ||
                    GetScreenProperty(nullptr, 0, &kCoordinate) || GetVersion(0, nullptr, 0, 0);
         }},
        // The camera's sequences: the bracket opened on both cameras around the body and closed
        // again whatever the body did; every command tried twice.
        {"camera, first open fails", setConfig(&kCamera), kSet, 2, 0},
        {"camera read, first open fails", panel(&kCamera), kSet, 2, 0},
        {"camera, second open fails", getConfig(&kCamera), kSet, 2, 1},
        {"camera calibration, second open fails", calibrate(&kCamera), kSet, 2, 1},
        {"camera store fails", setConfig(&kCamera), kSet, 2, 2},
        {"camera x fails, y still sent", calibrate(&kCamera), kSet, 2, 2},
        {"camera read fails", getConfig(&kCamera), kGet, 2},
        {"camera panel read fails", panel(&kCamera), kGet, 2},
        {"version read fails", version, kGet, 2},
        // A read answers with its last close; a store does not.
        {"camera read, last close fails", getConfig(&kCamera), kSet, 2, 3},
        {"camera read, first close fails", getConfig(&kCamera), kSet, 2, 2},
        {"camera store, last close fails", setConfig(&kCamera), kSet, 2, 4},
        {"camera DeviceID 0xFE stays",
         [&] {
             Bytes reply(64, 0x33);
             reply[5] = 0xFE;
             driver().SetReply(kGet, reply);
             return getConfig(&kCamera)();
         }},
        {"camera store out of memory",  // the bracket is still closed, nothing stored
         [&] {
             ots::test::FailNextAllocationOf(1 + 58);  // the store's index byte and record
             const BOOL ok = setConfig(&kCamera)();
             EXPECT_FALSE(ots::test::AllocationFailurePending());
             return ok;
         }},
        // Attempts are bounded by the retry count.
        {"read, no retry", [] { return ceGetCommand(0, Request(2, 0x32, 0), &gReply, 0); }, kGet},
        {"write, one retry", [] { return SetCommand(0, Request(1, 0x71, 0, {1}), 1); }, kSet},
        {"read, three retries", [] { return ceGetCommand(0, Request(2, 0x30, 1), &gReply, 3); },
         kGet},
        {"negative retries", [] { return ceGetCommand(0, Request(2, 0x32, 0), &gReply, -1); }},
        {"second attempt succeeds", [] { return SetCommand(0, Request(1, 0x71, 1, {0}), 5); }, kSet,
         1},
        // Requests of the other kind, or with nowhere to put the reply, never open the device.
        {"write of a read request", [] { return SetCommand(0, Request(2, 0x30, 0), 1); }},
        {"read of a write request",
         [] { return ceGetCommand(0, Request(1, 0x71, 0, {1}), &gReply, 1); }},
        {"read without a reply", [] { return ceGetCommand(0, Request(2, 0x30, 0), nullptr, 1); }},
        // The low nibble of the class gives the kind.
        {"class 0x22 reads", [] { return ceGetCommand(0, Request(0x22, 0x30, 0), &gReply, 0); }},
        {"class 0x21 writes", [] { return SetCommand(0, Request(0x21, 0x30, 0), 0); }},
        {"class 0x03 neither", [] { return SetCommand(0, Request(0x03, 0x30, 0), 0); }},
    };
    text_ += "# answers\n";
    for (const Row& row : rows) {
        Transcribe(row);
    }
    ots::test::ExpectGolden(text_, OTS_GOLDEN_DIR "device_calls.txt");
}

// Between the bracket and the body, and between the records of a body, the camera needs time.
// On the real clock, so that scheduling noise cannot stand in for a missing pause.
TEST_F(DeviceCalls, TheCameraBodyWaitsAfterTheBracketAndBetweenItsRecords) {
    const ce::host::ScopedTimeScale realTime{1.0};
    ASSERT_EQ(Activate(), L"OTS1:");
    ASSERT_TRUE(SetCalibratePara({}, {}, 0, &kCamera));
    const auto events = driver().TakeEvents();  // the controls of camera 1's bracket, X and Y
    EXPECT_GE(events.at(7).platformMs - events.at(4).platformMs, 2 * kPauseMs);
    EXPECT_GE(events.at(10).platformMs - events.at(7).platformMs, 2 * kPauseMs);
}

TEST(VendorCommandRequest, FramingBounds) {
    const Bytes record(58, 0x5A);
    const auto full = MakeVendorCommand(1, 0x31, 1, record.data(), 58);
    ASSERT_TRUE(full);
    EXPECT_EQ(SerializeVendorCommand(*full).size(), 64u);
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, Bytes(59).data(), 59)) << "one byte too many";
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, nullptr, 1)) << "a length without data";
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x71, {}}).empty());
}

TEST(WideString, CopyIsBoundedByTheCountTheSourceAndTheDestination) {
    EXPECT_EQ(WideStringLength(nullptr), 0u);
    const WCHAR unterminated[3] = {L'a', L'b', L'c'};
    const struct {
        const char* name;
        std::size_t room;
        const WCHAR* source;
        std::size_t count;
        std::size_t copied;
        const wchar_t* after;  // the 9-character destination, which held '#'
    } cases[] = {{"the count", 8, L"OTS1:", 3, 3, L"OTS\0#####"},
                 {"the source's end", 8, L"OTS1:", 100, 5, L"OTS1:\0###"},
                 {"room for the terminator", 4, L"OTS1:", 100, 3, L"OTS\0#####"},
                 {"unterminated source", 8, unterminated, 3, 3, L"abc\0#####"},
                 {"no source", 2, nullptr, 3, 0, L"\0########"},
                 {"room for the terminator only", 1, L"abc", 3, 0, L"\0########"},
                 {"no room", 0, L"abc", 3, 0, L"#########"}};
    for (const auto& c : cases) {
        WCHAR dest[9];
        std::wmemset(dest, L'#', 9);
        EXPECT_EQ(WideStringCopy(dest, c.room, c.source, c.count), c.copied) << c.name;
        EXPECT_EQ(std::wstring(dest, 9), std::wstring(c.after, 9)) << c.name;
    }
}

}  // namespace
}  // namespace paneltest
