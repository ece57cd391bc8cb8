// The camera controller's sequences as the driver sees them: one open, one command and one
// close per vendor command, the bracket around the body, the pauses, and which bytes of a
// reply reach the caller.
#include <gtest/gtest.h>

#include <functional>

#include "support/camera_on_bus.h"
#include "device/device_access.h"
#include "panel_test_support.h"
#include "protocol/control_codes.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::Framed;

constexpr DWORD kPauseMs = 20;

// A reply frame whose block (bytes 5..62) counts up from `first`, framed by bytes that must
// not reach the caller.
Bytes ReplyWithBlock(BYTE first) {
    Bytes reply(64, 0xC3);
    reply[0] = 0xAA;
    for (std::size_t i = 0; i < 58; ++i) {
        reply[5 + i] = static_cast<BYTE>(first + i);
    }
    return reply;
}

class CameraSequenceScriptTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
    }

    // The commands sent, in order.
    std::vector<Bytes> Commands() const {
        std::vector<Bytes> commands;
        for (const script::Event& call : driver().IoCalls()) {
            commands.push_back(call.input);
        }
        return commands;
    }

    // Each command on its own handle: open, one control call, close.
    void ExpectOneHandlePerCommand() {
        const auto trace = Trace();
        ASSERT_EQ(trace.size() % 3, 0u);
        for (std::size_t i = 0; i < trace.size(); i += 3) {
            EXPECT_EQ(trace[i], OpenOf("OTS1:"));
            EXPECT_EQ(trace[i + 2], CloseOf("OTS1:"));
        }
    }

    // Platform time between two control calls.
    double Gap(std::size_t from, std::size_t to) {
        const auto calls = driver().IoCalls();
        return calls.at(to).platformMs - calls.at(from).platformMs;
    }
};

TEST_F(CameraSequenceScriptTest, SetDeviceConfigStoresTheRecordInsideTheBracket) {
    const Bytes record = Pattern(58, 0x31);
    const ots::DeviceConfig config = ots::DecodeDeviceConfig(ArrayOf<58>(record));
    ASSERT_TRUE(SetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(Commands(),
              (std::vector<Bytes>{kOpen0, kOpen1, Framed(1, 0x31, 1, record), kClose0, kClose1}));
    ExpectOneHandlePerCommand();
    // The sequence pauses after the bracket, and each attempt pauses before it is sent.
    EXPECT_GE(Gap(1, 2), 2 * kPauseMs);
    EXPECT_GE(Gap(0, 1), kPauseMs);
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(CameraSequenceScriptTest, SetCalibrateParaStoresXThenYWithAPauseBetween) {
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    ots::CalibPara calibY = ots::IdentityCalibParaY();
    calibX.A00 = -3.25f;
    calibY.reserve0 = 0xDEADBEEF;
    Bytes bytesX(58), bytesY(58);
    ots::EncodeCalibPara(calibX, std::span<BYTE, 58>(bytesX.data(), 58));
    ots::EncodeCalibPara(calibY, std::span<BYTE, 58>(bytesY.data(), 58));
    ASSERT_TRUE(SetCalibratePara(calibX, calibY, 0, &kCameraIdentity));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{kOpen0, kOpen1, Framed(1, 0x15, 0, bytesX),
                                              Framed(1, 0x15, 1, bytesY), kClose0, kClose1}));
    EXPECT_GE(Gap(2, 3), 2 * kPauseMs);
    ExpectOneHandlePerCommand();
}

TEST_F(CameraSequenceScriptTest, GetDeviceConfigTakesTheBlockFromByte5AndClearsAnUnassignedId) {
    Bytes reply = ReplyWithBlock(0x40);
    reply[5] = 0xFF;  // DeviceID: none assigned
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    ots::DeviceConfig config{};
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(Commands(),
              (std::vector<Bytes>{kOpen0, kOpen1, Framed(2, 0x30, 1), kClose0, kClose1}));
    Bytes expected(reply.begin() + 5, reply.begin() + 63);
    expected[0] = 0;
    Bytes got(58);
    ots::EncodeDeviceConfig(config, std::span<BYTE, 58>(got.data(), 58));
    EXPECT_EQ(got, expected);

    reply[5] = 0xFE;  // an assigned id stays
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(config.DeviceID, 0xFE);
}

TEST_F(CameraSequenceScriptTest, ScreenPropertyAndVersionCopyTheirBlocks) {
    const Bytes reply = ReplyWithBlock(0x10);
    const Bytes block(reply.begin() + 5, reply.begin() + 63);
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorBlock panel{};
    ASSERT_TRUE(GetScreenProperty(&panel, 0, &kCameraIdentity));
    EXPECT_EQ(Bytes(panel.begin(), panel.end()), block);
    EXPECT_EQ(Commands(),
              (std::vector<Bytes>{kOpen0, kOpen1, Framed(2, 0x30, 0), kClose0, kClose1}));

    driver().Reset();
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorBlock version{};
    ASSERT_TRUE(GetVersion(0, &version, 0, 0));
    EXPECT_EQ(Bytes(version.begin(), version.end()), block);
    EXPECT_EQ(Commands(),
              (std::vector<Bytes>{kOpen0, kOpen1, Framed(2, 0x32, 0), kClose0, kClose1}));
}

TEST_F(CameraSequenceScriptTest, AFailingFirstBracketCommandEndsEverySequence) {
    for (const SequenceCase& sequence : CameraSequences()) {
        SCOPED_TRACE(sequence.name);
        driver().Reset();
        driver().FailCode(IOCTL_SET_COMMAND, 2);  // both attempts of the first command
        capture_.Clear();
        EXPECT_FALSE(sequence.call());
        EXPECT_EQ(Commands(), (std::vector<Bytes>{kOpen0, kOpen0}));
        EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
                  std::vector<std::string>(2, "<optlib><SetCommand>DeviceIoControl Failed!!!!"));
    }
}

TEST_F(CameraSequenceScriptTest, AFailingSecondBracketCommandEndsTheSequenceUnclosed) {
    for (const SequenceCase& sequence : CameraSequences()) {
        SCOPED_TRACE(sequence.name);
        driver().Reset();
        driver().FailCode(IOCTL_SET_COMMAND, 2, 1);
        EXPECT_FALSE(sequence.call());
        EXPECT_EQ(Commands(), (std::vector<Bytes>{kOpen0, kOpen1, kOpen1}));
    }
}

TEST_F(CameraSequenceScriptTest, AFailedStoreStillClosesTheBracketAndFails) {
    const ots::DeviceConfig config{};
    driver().FailCode(IOCTL_SET_COMMAND, 2, 2);  // the store, both attempts
    EXPECT_FALSE(SetDeviceConfig(&config, 0, &kCameraIdentity));
    const Bytes store = Framed(1, 0x31, 1, Bytes(58, 0));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{kOpen0, kOpen1, store, store, kClose0, kClose1}));

    driver().Reset();
    driver().FailCode(IOCTL_SET_COMMAND, 2, 2);  // the x record
    EXPECT_FALSE(SetCalibratePara(ots::CalibPara{}, ots::CalibPara{}, 0, &kCameraIdentity));
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 7u) << "the y record is still sent";
    EXPECT_EQ(commands[4], Framed(1, 0x15, 1, Bytes(58, 0)));
    EXPECT_EQ(commands[6], kClose1);
}

TEST_F(CameraSequenceScriptTest, AFailedReadIsAFailureAndLeavesTheCallersBlock) {
    driver().FailCode(IOCTL_GET_COMMAND);
    ots::DeviceConfig config{};
    config.MaxX = 1234;
    // The record was not read: reporting success would have the caller store its stale copy.
    EXPECT_FALSE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(config.MaxX, 1234);
    const Bytes read = Framed(2, 0x30, 1);
    EXPECT_EQ(Commands(), (std::vector<Bytes>{kOpen0, kOpen1, read, read, kClose0, kClose1}));

    VendorBlock block;
    block.fill(0xEE);
    EXPECT_FALSE(GetScreenProperty(&block, 0, &kCameraIdentity));
    EXPECT_FALSE(GetVersion(0, &block, 0, 0));
    EXPECT_EQ(block[0], 0xEE) << "left as it was";
    EXPECT_EQ(block[57], 0xEE);
}

TEST_F(CameraSequenceScriptTest, GetDeviceConfigAnswersWithTheLastBracketCloseCommand) {
    driver().SetReply(IOCTL_GET_COMMAND, ReplyWithBlock(1));
    ots::DeviceConfig config{};
    driver().FailCode(IOCTL_SET_COMMAND, 2, 3);  // the second close
    EXPECT_FALSE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(config.MonitorID, 2) << "the record itself was read";

    driver().Reset();
    driver().FailCode(IOCTL_SET_COMMAND, 2, 2);  // the first close: the second still goes
    EXPECT_TRUE(GetDeviceConfig(&config, 0, &kCameraIdentity));
    EXPECT_EQ(Commands().back(), kClose1);

    driver().Reset();
    driver().FailCode(IOCTL_SET_COMMAND, 2, 4);  // a store's last close does not count
    EXPECT_TRUE(SetDeviceConfig(&config, 0, &kCameraIdentity));
}

}  // namespace
}  // namespace paneltest
