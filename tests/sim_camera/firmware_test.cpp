#include "sim/camera_firmware.h"

#include <gtest/gtest.h>

#include "camera_test_support.h"
#include "ce/host/clock.h"
#include "protocol/vendor_command.h"

namespace ots::sim {
namespace {

using camtest::Bytes;
using camtest::Hex;

Bytes Command(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& payload = {}) {
    Bytes bytes(64);
    const std::size_t n =
        ots::BuildVendorCommand(cls, code, index, payload.data(), payload.size(), bytes);
    EXPECT_GT(n, 0u);
    bytes.resize(n);
    return bytes;
}

// A 64-byte answer: the header bytes, then the block bytes given (zero-padded to 58), then
// the checksum.
Bytes Answer(Bytes header, const Bytes& block, std::uint8_t checksum) {
    header.insert(header.end(), block.begin(), block.end());
    header.resize(63, 0);
    header.push_back(checksum);
    return header;
}

Bytes Pattern58(std::uint8_t seed) {
    Bytes bytes(58);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i);
    }
    return bytes;
}

// A panel whose lens block is easy to write out by hand.
CameraPanel HandPanel() {
    CameraPanel panel = RealisticCameraPanel();
    panel.camera0.flags = 0x01;
    panel.camera0.firstPixel = 8;
    panel.camera0.lastPixel = 632;
    panel.camera0.p = {0.5f, 1.0f, 0, 0, 0, 0, 0, 0};
    panel.camera0.J = 0.25f;
    panel.camera0.K = 1.0f;
    return panel;
}

class FirmwareTest : public ::testing::Test {
  protected:
    // Sends a command and takes its answer as bytes; empty when none was queued.
    Bytes Exchange(const Bytes& command) {
        firmware.ReceiveCommand(command);
        const auto answer = firmware.TakeAnswer();
        return answer ? Bytes(answer->bytes.begin(), answer->bytes.end()) : Bytes{};
    }
    void OpenBrackets() {
        Exchange(Command(1, 0x71, 0, {1}));
        Exchange(Command(1, 0x71, 1, {1}));
    }

    std::shared_ptr<CameraNvm> nvm = std::make_shared<CameraNvm>();
    CameraFirmware firmware{HandPanel(), nvm};
};

TEST_F(FirmwareTest, BracketCommandIsAnsweredWithItsArgumentEchoed) {
    EXPECT_EQ(Hex(Exchange({0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74})),
              Hex(Answer({0xAA, 0x11, 0x71, 0x3B, 0x00}, {0x01}, 0xBD)));
    EXPECT_TRUE(firmware.IsBracketed(0));
    EXPECT_FALSE(firmware.IsBracketed(1));
    Exchange(Command(1, 0x71, 1, {1}));
    EXPECT_TRUE(firmware.IsBracketed(1));
    Exchange(Command(1, 0x71, 0, {0}));
    EXPECT_FALSE(firmware.IsBracketed(0));
    EXPECT_TRUE(firmware.IsBracketed(1));
}

TEST_F(FirmwareTest, CameraParamsReadAnswersTheLensBlock) {
    OpenBrackets();
    const Bytes block{0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x78, 0x02, 0x00, 0x00,   // flags, range
                      0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00,   // p0, p1
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // p2..p4
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // p5..p7
                      0x00, 0x00, 0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x80, 0x3F};  // J, K
    EXPECT_EQ(Hex(Exchange(Command(2, 0x10, 0))),
              Hex(Answer({0xAA, 0x12, 0x10, 0x3B, 0x00}, block, 0x5A)));
}

TEST_F(FirmwareTest, EveryBlockReadAnswersItsBlock) {
    OpenBrackets();
    const CameraPanel panel = HandPanel();
    const auto blockOf = [&](std::uint8_t code, std::uint8_t index) {
        const Bytes answer = Exchange(Command(2, code, index));
        EXPECT_EQ(answer.size(), 64u);
        EXPECT_EQ(Hex(Bytes(answer.begin(), answer.begin() + 5)),
                  Hex(Bytes{0xAA, 0x12, code, 0x3B, index}));
        EXPECT_EQ(answer[63], camtest::Checksum(std::span(answer).first(63)));
        return Bytes(answer.begin() + 5, answer.begin() + 63);
    };
    const auto bytesOf = [](const Block& b) { return Bytes(b.begin(), b.end()); };
    EXPECT_EQ(blockOf(0x10, 1), bytesOf(EncodeCameraParams(panel.camera1)));
    EXPECT_EQ(blockOf(0x30, 0), bytesOf(EncodePanelParams(panel.panel)));
    EXPECT_EQ(blockOf(0x30, 1), bytesOf(nvm->DeviceConfig()));
    EXPECT_EQ(blockOf(0x14, 0), bytesOf(nvm->Calibration(0)));
    EXPECT_EQ(blockOf(0x14, 1), bytesOf(nvm->Calibration(1)));
}

TEST_F(FirmwareTest, StoresEchoTheRecordAndReadBackFromNonVolatileMemory) {
    OpenBrackets();
    const Bytes config = Pattern58(0x40);
    const Bytes answer = Exchange(Command(1, 0x31, 1, config));
    ASSERT_EQ(answer.size(), 64u);
    EXPECT_EQ(Hex(Bytes(answer.begin(), answer.begin() + 5)),
              Hex(Bytes{0xAA, 0x11, 0x31, 0x3B, 0x01}));
    EXPECT_EQ(Bytes(answer.begin() + 5, answer.begin() + 63), config);

    const Bytes x = Pattern58(0x80);
    const Bytes y = Pattern58(0xC0);
    Exchange(Command(1, 0x15, 0, x));
    Exchange(Command(1, 0x15, 1, y));
    EXPECT_EQ(nvm->Writes(), 3u);

    const auto blockOf = [&](std::uint8_t code, std::uint8_t index) {
        const Bytes a = Exchange(Command(2, code, index));
        return Bytes(a.begin() + 5, a.begin() + 63);
    };
    EXPECT_EQ(blockOf(0x30, 1), config);
    EXPECT_EQ(blockOf(0x14, 0), x);
    EXPECT_EQ(blockOf(0x14, 1), y);
}

TEST_F(FirmwareTest, CommandsNotServedAreRefusedWithAReason) {
    // 0x55 + AA + 22 + 33 + 3B + 00 + 01 = 0x190
    EXPECT_EQ(Hex(Exchange(Command(2, 0x33, 0))),
              Hex(Answer({0xAA, 0x22, 0x33, 0x3B, 0x00}, {0x01}, 0x90)));
    struct Case {
        const char* what;
        Bytes command;
        std::uint8_t cls;
        std::uint8_t reason;
    };
    const Case cases[] = {
        {"class 3", Command(3, 0x10, 0), 0x23, 0x01},
        {"unknown control code", Command(1, 0x72, 0, {1}), 0x21, 0x01},
        {"read with a payload", Command(2, 0x10, 0, {0}), 0x22, 0x02},
        {"bracket without argument", Command(1, 0x71, 0), 0x21, 0x02},
        {"store of 57 bytes", Command(1, 0x31, 1, Bytes(57, 1)), 0x21, 0x02},
        {"camera 2", Command(2, 0x10, 2), 0x22, 0x03},
        {"version index 1", Command(2, 0x32, 1), 0x22, 0x03},
        {"bracket of camera 2", Command(1, 0x71, 2, {1}), 0x21, 0x03},
        {"bracket argument 2", Command(1, 0x71, 0, {2}), 0x21, 0x03},
        {"device config index 0", Command(1, 0x31, 0, Bytes(58, 1)), 0x21, 0x03},
        {"calibration index 2", Command(1, 0x15, 2, Bytes(58, 1)), 0x21, 0x03},
    };
    for (const Case& c : cases) {
        const Bytes answer = Exchange(c.command);
        ASSERT_EQ(answer.size(), 64u) << c.what;
        EXPECT_EQ(answer[1], c.cls) << c.what;
        EXPECT_EQ(answer[4], c.command[4]) << c.what;
        EXPECT_EQ(answer[5], c.reason) << c.what;
        EXPECT_EQ(answer[63], camtest::Checksum(std::span(answer).first(63))) << c.what;
    }
    EXPECT_EQ(nvm->Writes(), 0u);
    EXPECT_FALSE(firmware.IsBracketed(0));
}

TEST_F(FirmwareTest, MalformedFramesAreDiscardedUnansweredAndDropAWaitingAnswer) {
    const Bytes good = Command(2, 0x30, 0);
    Bytes badChecksum = good;
    badChecksum[good.size() - 1] ^= 0xFF;  // the checksum byte
    Bytes noSync = good;
    noSync[0] = 0xAB;
    noSync.back() = camtest::Checksum(std::span(noSync).first(noSync.size() - 1));
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes shortened(good.begin(), good.end() - 1);
    for (const Bytes& bad : {badChecksum, noSync, trailing, shortened, Bytes{}}) {
        firmware.ReceiveCommand(good);  // its answer is never fetched
        firmware.ReceiveCommand(bad);
        EXPECT_FALSE(firmware.TakeAnswer().has_value()) << Hex(bad);
        EXPECT_EQ(firmware.CommandLog().back().outcome, CommandOutcome::Discarded) << Hex(bad);
    }
}

TEST_F(FirmwareTest, AnAnswerIsFetchedOnceAndANewCommandReplacesIt) {
    firmware.ReceiveCommand(Command(1, 0x71, 0, {1}));
    firmware.ReceiveCommand(Command(2, 0x32, 0));
    const auto answer = firmware.TakeAnswer();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->bytes[2], 0x32);
    EXPECT_FALSE(firmware.TakeAnswer().has_value());
}

TEST_F(FirmwareTest, BlockReadsOutsideABracketAreServedAndMarked) {
    const Bytes read = Command(2, 0x30, 0);
    EXPECT_EQ(Exchange(read).size(), 64u);
    Exchange(Command(1, 0x71, 0, {1}));
    EXPECT_EQ(Exchange(read).size(), 64u);  // camera 1 still closed
    Exchange(Command(1, 0x71, 1, {1}));
    EXPECT_EQ(Exchange(read).size(), 64u);
    Exchange(Command(1, 0x31, 1, Pattern58(0)));
    Exchange(Command(1, 0x71, 0, {0}));
    Exchange(Command(1, 0x15, 0, Pattern58(0)));
    const std::vector<CommandRecord> log = firmware.CommandLog();
    ASSERT_EQ(log.size(), 8u);
    const bool expected[] = {true, false, true, false, false, false, false, true};
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].outsideBracket, expected[i]) << log[i].Text();
        EXPECT_EQ(log[i].outcome, CommandOutcome::Answered) << log[i].Text();
    }
    EXPECT_EQ(log[0].Text(), "AA 02 30 01 00 32 -> answered (outside bracket)");
}

TEST_F(FirmwareTest, DroppedAnswersLeaveNothingToFetch) {
    firmware.DropAnswers(2);
    EXPECT_TRUE(Exchange(Command(1, 0x71, 0, {1})).empty());
    EXPECT_TRUE(Exchange(Command(1, 0x71, 1, {1})).empty());
    EXPECT_EQ(Exchange(Command(2, 0x30, 0)).size(), 64u);
    // The command still took effect; only its answer was lost.
    EXPECT_TRUE(firmware.IsBracketed(0));
    EXPECT_EQ(firmware.CommandLog()[0].outcome, CommandOutcome::AnswerDropped);

    firmware.DropAnswers(kEveryAnswer);
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(Exchange(Command(2, 0x32, 0)).empty());
    }
    firmware.ClearFaults();
    EXPECT_EQ(Exchange(Command(2, 0x32, 0)).size(), 64u);
}

TEST_F(FirmwareTest, WrongIndexFaultEchoesTheIndexPlusOne) {
    firmware.EchoWrongIndex(1);
    EXPECT_EQ(Hex(Exchange(Command(1, 0x71, 0, {1}))),
              Hex(Answer({0xAA, 0x11, 0x71, 0x3B, 0x01}, {0x01}, 0xBE)));
    const Bytes next = Exchange(Command(1, 0x71, 0, {1}));
    EXPECT_EQ(next[4], 0x00);
    firmware.EchoWrongIndex(kEveryAnswer);
    for (std::uint8_t index : {std::uint8_t{0}, std::uint8_t{1}}) {
        const Bytes answer = Exchange(Command(2, 0x10, index));
        EXPECT_EQ(answer[4], index + 1);
        EXPECT_FALSE(
            ots::IsAcceptedResponse(std::span<const std::uint8_t, 64>(answer.data(), 64), index));
    }
}

TEST_F(FirmwareTest, ClassFaultAnswersWithTheGivenClass) {
    firmware.AnswerWithClass(0x21, 2);
    EXPECT_EQ(Hex(Exchange(Command(1, 0x71, 0, {1}))),
              Hex(Answer({0xAA, 0x21, 0x71, 0x3B, 0x00}, {0x01}, 0xCD)));
    EXPECT_EQ(Exchange(Command(2, 0x30, 0))[1], 0x21);
    EXPECT_EQ(Exchange(Command(2, 0x30, 0))[1], 0x12);
}

}  // namespace
}  // namespace ots::sim
