// SetCommand and ceGetCommand, and the camera controller's sequences built on them, against
// the scripted driver: the framed bytes, one handle per command, the attempts and pauses, the
// bracket around every body, and which bytes of a reply reach the caller.
#include <gtest/gtest.h>

#include <functional>

#include "device/device_access.h"
#include "device/vendor_exchange.h"
#include "protocol/control_codes.h"
#include "support/records.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::Framed;

constexpr double kPauseMs = 20;
const Bytes kOpen0 = Framed(1, 0x71, 0, {1});
const Bytes kOpen1 = Framed(1, 0x71, 1, {1});
const Bytes kClose0 = Framed(1, 0x71, 0, {0});
const Bytes kClose1 = Framed(1, 0x71, 1, {0});
const Bytes kRecord = ots::test::Pattern(58, 0x31);
ots::DeviceConfig gConfig{};
VendorBlock gBlock{};

VendorCommandRequest Request(BYTE cls, BYTE code, BYTE index, const Bytes& data = {}) {
    auto request =
        MakeVendorCommand(cls, code, index, data.data(), static_cast<DWORD>(data.size()));
    EXPECT_TRUE(request.has_value());
    return request.value_or(VendorCommandRequest{});
}

// A reply whose block (bytes 5..62) counts up from `first`, framed by bytes that must not
// reach the caller.
Bytes ReplyWithBlock(BYTE first) {
    Bytes reply(64, 0xC3);
    for (std::size_t i = 0; i < 58; ++i) {
        reply[5 + i] = static_cast<BYTE>(first + i);
    }
    return reply;
}

class CameraSequenceTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
    }
    // Platform time between two control calls.
    double Gap(std::size_t from, std::size_t to) const {
        const auto calls = driver().IoCalls();
        return calls.at(to).platformMs - calls.at(from).platformMs;
    }
};

TEST_F(CameraSequenceTest, AttemptsArePausedLoggedAndBoundedByTheRetryCount) {
    const struct {
        const char* name;
        bool read;
        INT retries;
        int failures;
        std::size_t attempts;
    } cases[] = {
        {"no retry", true, 0, script::kAlways, 1}, {"one retry", false, 1, script::kAlways, 2},
        {"three", true, 3, script::kAlways, 4},    {"negative", true, -1, script::kAlways, 0},
        {"second succeeds", false, 5, 1, 2},       {"first succeeds", true, 1, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        driver().Reset();
        capture_.Clear();
        const DWORD code = c.read ? IOCTL_GET_COMMAND : IOCTL_SET_COMMAND;
        driver().FailCode(code, c.failures);
        VendorReply reply{};
        const BOOL ok = c.read ? ceGetCommand(0, Request(2, 0x32, 0), &reply, c.retries)
                               : SetCommand(0, Request(1, 0x71, 0, {1}), c.retries);
        EXPECT_EQ(ok, c.failures != script::kAlways);
        std::vector<std::string> trace(c.attempts + 2, IoOf("OTS1:", code));
        trace.front() = "Open OTS1:";  // even with no attempt to make
        trace.back() = "Close OTS1:";
        EXPECT_EQ(Trace(), trace);
        const std::size_t failed = c.failures == script::kAlways ? c.attempts : c.attempts - 1;
        EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
                  std::vector<std::string>(
                      failed, c.read ? "<optlib><ceGetCommand>DeviceIoControl Failed!!!!"
                                     : "<optlib><SetCommand>DeviceIoControl Failed!!!!"));
        const auto events = driver().Events();
        for (std::size_t i = 1; i + 1 < events.size(); ++i) {
            EXPECT_GE(events[i].platformMs - events[i - 1].platformMs, kPauseMs) << i;
        }
    }
}

TEST_F(CameraSequenceTest, CommandsAreFramedAndRepliesComeBackWhole) {
    ASSERT_TRUE(SetCommand(0, Request(1, 0x71, 0, {1}), 1));
    Bytes reply(64);
    for (std::size_t i = 0; i < reply.size(); ++i) {
        reply[i] = static_cast<BYTE>(i * 3);
    }
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorReply got{};
    ASSERT_TRUE(ceGetCommand(0, Request(2, 0x30, 1), &got, 1));
    EXPECT_EQ(Bytes(got.begin(), got.end()), reply);
    const auto calls = driver().IoCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].input, (Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}));
    EXPECT_EQ(calls[0].outputLength, 64u);
    EXPECT_FALSE(calls[0].outputNull);
    EXPECT_EQ(calls[1].input, (Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}));

    driver().FailCode(IOCTL_GET_COMMAND);
    got.fill(0xEE);
    EXPECT_FALSE(ceGetCommand(0, Request(2, 0x32, 0), &got, 1));
    EXPECT_EQ(got[0], 0xEE) << "a failed read leaves the reply";
    EXPECT_EQ(got[63], 0xEE);
}

TEST_F(CameraSequenceTest, RequestsOfTheOtherKindNeverOpenTheDevice) {
    VendorReply reply{};
    EXPECT_FALSE(SetCommand(0, Request(2, 0x30, 0), 1)) << "a read is not a write";
    EXPECT_FALSE(SetCommand(0, Request(0x03, 0x30, 0), 1));
    EXPECT_FALSE(ceGetCommand(0, Request(1, 0x71, 0, {1}), &reply, 1)) << "a write is not a read";
    EXPECT_FALSE(ceGetCommand(0, Request(2, 0x30, 0), nullptr, 1)) << "nowhere to put the reply";
    EXPECT_TRUE(Trace().empty());
    EXPECT_TRUE(capture_.Lines().empty());
}

// Each sequence as sent: one open, one command and one close per vendor command, the bracket
// opened on both cameras around the body and closed again whatever the body did.
TEST_F(CameraSequenceTest, SequencesAsSentWhenCommandsFail) {
    const ots::DeviceConfig record = ots::DecodeDeviceConfig(ots::test::ArrayOf<58>(kRecord));
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    calibX.A00 = -3.25f;
    Bytes bytesX(58), bytesY(58);
    ots::EncodeCalibPara(calibX, std::span<BYTE, 58>(bytesX.data(), 58));
    ots::EncodeCalibPara(ots::IdentityCalibParaY(), std::span<BYTE, 58>(bytesY.data(), 58));
    const auto getConfig = [] { return GetDeviceConfig(&gConfig, 0, &kCamera); };
    const auto setConfig = [&] { return SetDeviceConfig(&record, 0, &kCamera); };
    const auto calibrate = [&] {
        return SetCalibratePara(calibX, ots::IdentityCalibParaY(), 0, &kCamera);
    };
    const auto panel = [] { return GetScreenProperty(&gBlock, 0, &kCamera); };
    const auto version = [] { return GetVersion(0, &gBlock, 0, 0); };
    const Bytes store = Framed(1, 0x31, 1, kRecord);
    const Bytes x = Framed(1, 0x15, 0, bytesX);
    const Bytes y = Framed(1, 0x15, 1, bytesY);
    const Bytes readConfig = Framed(2, 0x30, 1);
    const Bytes readPanel = Framed(2, 0x30, 0);
    const Bytes readVersion = Framed(2, 0x32, 0);
    const struct {
        const char* name;
        std::function<BOOL()> call;
        DWORD failing;  // fails twice (both attempts) after `after` calls of it succeeded
        int after;
        bool ok;
        std::vector<Bytes> sent;
    } cases[] = {
        {"store", setConfig, 0, 0, true, {kOpen0, kOpen1, store, kClose0, kClose1}},
        {"calibrate", calibrate, 0, 0, true, {kOpen0, kOpen1, x, y, kClose0, kClose1}},
        {"read config", getConfig, 0, 0, true, {kOpen0, kOpen1, readConfig, kClose0, kClose1}},
        {"read panel", panel, 0, 0, true, {kOpen0, kOpen1, readPanel, kClose0, kClose1}},
        {"read version", version, 0, 0, true, {kOpen0, kOpen1, readVersion, kClose0, kClose1}},
        {"first open", setConfig, IOCTL_SET_COMMAND, 0, false, {kOpen0, kOpen0}},
        {"first open, read", panel, IOCTL_SET_COMMAND, 0, false, {kOpen0, kOpen0}},
        {"second open", getConfig, IOCTL_SET_COMMAND, 1, false, {kOpen0, kOpen1, kOpen1}},
        {"second open, calibrate",
         calibrate,
         IOCTL_SET_COMMAND,
         1,
         false,
         {kOpen0, kOpen1, kOpen1}},
        {"store fails",
         setConfig,
         IOCTL_SET_COMMAND,
         2,
         false,
         {kOpen0, kOpen1, store, store, kClose0, kClose1}},
        {"x fails, y still sent",
         calibrate,
         IOCTL_SET_COMMAND,
         2,
         false,
         {kOpen0, kOpen1, x, x, y, kClose0, kClose1}},
        {"read fails",
         getConfig,
         IOCTL_GET_COMMAND,
         0,
         false,
         {kOpen0, kOpen1, readConfig, readConfig, kClose0, kClose1}},
        {"panel read fails",
         panel,
         IOCTL_GET_COMMAND,
         0,
         false,
         {kOpen0, kOpen1, readPanel, readPanel, kClose0, kClose1}},
        {"version read fails",
         version,
         IOCTL_GET_COMMAND,
         0,
         false,
         {kOpen0, kOpen1, readVersion, readVersion, kClose0, kClose1}},
        // A read answers with its last close; a store does not.
        {"read, last close fails",
         getConfig,
         IOCTL_SET_COMMAND,
         3,
         false,
         {kOpen0, kOpen1, readConfig, kClose0, kClose1, kClose1}},
        {"read, first close fails",
         getConfig,
         IOCTL_SET_COMMAND,
         2,
         true,
         {kOpen0, kOpen1, readConfig, kClose0, kClose0, kClose1}},
        {"store, last close fails",
         setConfig,
         IOCTL_SET_COMMAND,
         4,
         true,
         {kOpen0, kOpen1, store, kClose0, kClose1, kClose1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        driver().Reset();
        driver().SetReply(IOCTL_GET_COMMAND, ReplyWithBlock(1));
        capture_.Clear();
        if (c.failing != 0) {
            driver().FailCode(c.failing, 2, c.after);
        }
        EXPECT_EQ(c.call(), c.ok);
        EXPECT_EQ(Sent(), c.sent);
        const auto trace = Trace();
        if (c.failing == 0) {  // each command on a handle of its own
            ASSERT_EQ(trace.size(), 3 * c.sent.size());
            for (std::size_t i = 0; i < trace.size(); i += 3) {
                EXPECT_EQ(trace[i], "Open OTS1:");
                EXPECT_EQ(trace[i + 2], "Close OTS1:");
            }
        }
    }
    EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
              std::vector<std::string>(2, "<optlib><SetCommand>DeviceIoControl Failed!!!!"));
}

TEST_F(CameraSequenceTest, TheBodyWaitsAfterTheBracketAndBetweenItsRecords) {
    ASSERT_TRUE(SetCalibratePara({}, {}, 0, &kCamera));
    EXPECT_GE(Gap(1, 2), 2 * kPauseMs);
    EXPECT_GE(Gap(2, 3), 2 * kPauseMs);
}

TEST_F(CameraSequenceTest, ReadsTakeTheBlockFromByte5AndLeaveTheCallersOnFailure) {
    Bytes reply = ReplyWithBlock(0x40);
    const Bytes block(reply.begin() + 5, reply.begin() + 63);
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorBlock panel{}, version{};
    ASSERT_TRUE(GetScreenProperty(&panel, 0, &kCamera));
    ASSERT_TRUE(GetVersion(0, &version, 0, 0));
    EXPECT_EQ(Bytes(panel.begin(), panel.end()), block);
    EXPECT_EQ(Bytes(version.begin(), version.end()), block);

    reply[5] = 0xFF;  // DeviceID: none assigned, read as 0
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    ots::DeviceConfig config{};
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCamera));
    Bytes got(58);
    ots::EncodeDeviceConfig(config, std::span<BYTE, 58>(got.data(), 58));
    Bytes expected = block;
    expected[0] = 0;
    EXPECT_EQ(got, expected);
    reply[5] = 0xFE;  // an assigned id stays
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCamera));
    EXPECT_EQ(config.DeviceID, 0xFE);

    // An unread record is not reported as read: the caller would store its stale copy back.
    driver().FailCode(IOCTL_GET_COMMAND);
    config.MaxX = 1234;
    EXPECT_FALSE(GetDeviceConfig(&config, 0, &kCamera));
    EXPECT_EQ(config.MaxX, 1234);
    panel.fill(0xEE);
    EXPECT_FALSE(GetScreenProperty(&panel, 0, &kCamera));
    EXPECT_FALSE(GetVersion(0, &panel, 0, 0));
    EXPECT_EQ(panel[0], 0xEE);
    EXPECT_EQ(panel[57], 0xEE);
}

}  // namespace
}  // namespace paneltest
