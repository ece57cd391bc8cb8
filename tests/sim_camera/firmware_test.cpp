// The camera controller's command protocol, at the firmware and through the device's two
// vendor requests.
#include <gtest/gtest.h>

#include "ce/host/clock.h"
#include "protocol/vendor_command.h"
#include "sim/camera_device.h"
#include "support/camera_bus.h"

namespace ots::sim {
namespace {

using ots::test::BlockResponse;
using ots::test::Bytes;
using ots::test::Framed;
using ots::test::HexDump;
using ots::test::PatternBlock;

Bytes Of(const Block& block) {
    return Bytes(block.begin(), block.end());
}

class FirmwareTest : public ::testing::Test {
  protected:
    // Sends a command and takes its answer as bytes; empty when none was queued.
    Bytes Exchange(const Bytes& command) {
        firmware->ReceiveCommand(command);
        const auto answer = firmware->TakeAnswer();
        return answer ? Bytes(answer->bytes.begin(), answer->bytes.end()) : Bytes{};
    }
    Bytes Read(std::uint8_t code, std::uint8_t index) {
        const Bytes answer = Exchange(Framed(2, code, index));
        if (answer.size() != 64) {
            ADD_FAILURE() << "no answer to a read of " << int{code};
            return {};
        }
        const Bytes block(answer.begin() + 5, answer.end() - 1);
        EXPECT_EQ(HexDump(answer), HexDump(BlockResponse(0x12, code, index, block)));
        return block;
    }

    std::shared_ptr<CameraNvm> nvm = std::make_shared<CameraNvm>();
    const CameraPanel panel = RealisticCameraPanel();
    std::optional<CameraFirmware> firmware{std::in_place, panel, nvm};
};

TEST_F(FirmwareTest, ReadsAnswerTheirBlockAndStoresLastInNonVolatileMemory) {
    EXPECT_EQ(Read(0x10, 0), Of(EncodeCameraParams(panel.camera0)));
    EXPECT_EQ(Read(0x10, 1), Of(EncodeCameraParams(panel.camera1)));
    EXPECT_EQ(Read(0x30, 0), Of(EncodePanelParams(panel.panel)));
    EXPECT_EQ(Read(0x32, 0), Of(EncodeVersionBlock(panel.version)));
    const struct {
        std::uint8_t store, read, index, seed;
    } rows[] = {{0x31, 0x30, 1, 0x40}, {0x15, 0x14, 0, 0x80}, {0x15, 0x14, 1, 0xC0}};
    for (const auto& row : rows) {
        EXPECT_NE(Read(row.read, row.index), PatternBlock(row.seed));
        EXPECT_EQ(HexDump(Exchange(Framed(1, row.store, row.index, PatternBlock(row.seed)))),
                  HexDump(BlockResponse(0x11, row.store, row.index, PatternBlock(row.seed))));
    }
    firmware->ReceiveCommand(Framed(2, 0x30, 0));  // fetched by nobody
    firmware.emplace(panel, nvm);                  // the controller plugged in again
    for (const auto& row : rows) {
        EXPECT_EQ(Read(row.read, row.index), PatternBlock(row.seed));
    }
    EXPECT_EQ(nvm->Writes(), 3u);
}

TEST_F(FirmwareTest, CommandsNotServedAreRefusedWithAReason) {
    EXPECT_EQ(HexDump(Exchange(Framed(2, 0x33, 0))), HexDump(BlockResponse(0x22, 0x33, 0, {0x01})));
    const struct {
        const char* what;
        Bytes command;
        std::uint8_t cls;
        std::uint8_t reason;
    } rows[] = {
        {"class 3", Framed(3, 0x10, 0), 0x23, 0x01},
        {"unknown control code", Framed(1, 0x72, 0, {1}), 0x21, 0x01},
        {"read with a payload", Framed(2, 0x10, 0, {0}), 0x22, 0x02},
        {"bracket without argument", Framed(1, 0x71, 0), 0x21, 0x02},
        {"store of 57 bytes", Framed(1, 0x31, 1, Bytes(57, 1)), 0x21, 0x02},
        {"camera 2", Framed(2, 0x10, 2), 0x22, 0x03},
        {"version index 1", Framed(2, 0x32, 1), 0x22, 0x03},
        {"bracket of camera 2", Framed(1, 0x71, 2, {1}), 0x21, 0x03},
        {"bracket argument 2", Framed(1, 0x71, 0, {2}), 0x21, 0x03},
        {"device config index 0", Framed(1, 0x31, 0, Bytes(58, 1)), 0x21, 0x03},
        {"calibration index 2", Framed(1, 0x15, 2, Bytes(58, 1)), 0x21, 0x03},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HexDump(Exchange(row.command)),
                  HexDump(BlockResponse(row.cls, row.command[2], row.command[4], {row.reason})))
            << row.what;
    }
    EXPECT_EQ(nvm->Writes(), 0u);
    EXPECT_FALSE(firmware->IsBracketed(0));
}

TEST_F(FirmwareTest, MalformedFramesAreDiscardedAndDropAWaitingAnswer) {
    const Bytes good = Framed(2, 0x30, 0);
    Bytes badChecksum = good;
    badChecksum.back() ^= 0xFF;
    Bytes noSync = Framed(2, 0x30, 0);
    noSync[0] = 0xAB;
    noSync.back() = static_cast<BYTE>(noSync.back() + 1);
    Bytes trailing = good;
    trailing.push_back(0);
    for (const Bytes& bad :
         {badChecksum, noSync, trailing, Bytes(good.begin(), good.end() - 1), Bytes{}}) {
        firmware->ReceiveCommand(good);  // its answer is never fetched
        EXPECT_TRUE(Exchange(bad).empty()) << HexDump(bad);
        EXPECT_EQ(firmware->CommandLog().back().outcome, CommandOutcome::Discarded);
    }
    firmware->ReceiveCommand(Framed(1, 0x71, 0, {1}));
    EXPECT_EQ(Exchange(Framed(2, 0x32, 0))[2], 0x32) << "the newer command's answer";
    EXPECT_FALSE(firmware->TakeAnswer().has_value()) << "fetched once";
}

// A bracket echoes its argument and opens one camera at a time; commands outside one are
// served all the same and marked.
TEST_F(FirmwareTest, BracketsOpenOneCameraEachAndCommandsOutsideAreMarked) {
    EXPECT_EQ(HexDump(Exchange({0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74})),
              HexDump(BlockResponse(0x11, 0x71, 0, {0x01})));
    EXPECT_TRUE(firmware->IsBracketed(0));
    EXPECT_FALSE(firmware->IsBracketed(1));
    for (const Bytes& command : {Framed(2, 0x30, 0), Framed(1, 0x71, 1, {1}),
                                 Framed(1, 0x31, 1, PatternBlock(0)), Framed(1, 0x71, 0, {0}),
                                 Framed(1, 0x15, 0, PatternBlock(0))}) {
        Exchange(command);
    }
    EXPECT_FALSE(firmware->IsBracketed(0));
    EXPECT_TRUE(firmware->IsBracketed(1));
    std::string marks;
    for (const CommandRecord& record : firmware->CommandLog()) {
        EXPECT_EQ(record.outcome, CommandOutcome::Answered) << record.Text();
        marks += record.outsideBracket ? 'o' : '-';
    }
    EXPECT_EQ(marks, "-o---o");  // the panel block is camera 1's
    EXPECT_EQ(firmware->CommandLog()[1].Text(), "AA 02 30 01 00 32 -> answered (outside bracket)");
}

TEST_F(FirmwareTest, AnswerFaultsSpoilExactlyTheAnswersAskedFor) {
    firmware->DropAnswers(1);
    EXPECT_TRUE(Exchange(Framed(1, 0x71, 0, {1})).empty());
    EXPECT_TRUE(firmware->IsBracketed(0)) << "the command still took effect";
    EXPECT_EQ(firmware->CommandLog()[0].outcome, CommandOutcome::AnswerDropped);
    firmware->EchoWrongIndex(1);
    EXPECT_EQ(HexDump(Exchange(Framed(1, 0x71, 0, {1}))),
              HexDump(BlockResponse(0x11, 0x71, 1, {0x01})));
    firmware->AnswerWithClass(0x21, 1);
    EXPECT_EQ(HexDump(Exchange(Framed(1, 0x71, 0, {1}))),
              HexDump(BlockResponse(0x21, 0x71, 0, {0x01})));
    EXPECT_EQ(Exchange(Framed(1, 0x71, 0, {1})), BlockResponse(0x11, 0x71, 0, {0x01}));
    firmware->DropAnswers(kEveryAnswer);
    firmware->EchoWrongIndex(kEveryAnswer);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Exchange(Framed(2, 0x32, 0)).empty());
    }
    firmware->ClearFaults();
    EXPECT_EQ(Exchange(Framed(2, 0x32, 0))[4], 0);
}

constexpr USB_DEVICE_REQUEST kAnswerSetup{0xC0, 0, 0, 0, 64};

TEST(CameraDevice, VendorRequestsCarryCommandsAndAnswersAndStallOtherwise) {
    const ce::host::ScopedTimeScale fast(0.05);
    CameraDevice device;
    Bytes buffer(64, 0xEE);
    EXPECT_EQ(device.Control(kAnswerSetup, buffer).usbError, USB_STALL_ERROR) << "no answer yet";
    const USB_DEVICE_REQUEST stalled[] = {
        {0xC0, 1, 0, 0, 18}, {0x41, 0, 0, 0, 0}, {0xC2, 0, 0, 0x81, 18}};
    for (const USB_DEVICE_REQUEST& setup : stalled) {
        EXPECT_EQ(device.Control(setup, std::span(buffer).first(setup.wLength)).usbError,
                  USB_STALL_ERROR);
    }
    EXPECT_EQ(buffer, Bytes(64, 0xEE));
    EXPECT_TRUE(device.Firmware().CommandLog().empty());

    device.Firmware().DelayAnswers(40.0);
    const double before = ce::host::PlatformNowMs();
    Bytes command = Framed(1, 0x71, 1, {1});
    EXPECT_EQ(device.Control({0x40, 0, 0, 0, static_cast<WORD>(command.size())}, command)
                  .bytesTransferred,
              command.size());
    EXPECT_EQ(device.Control({0xC0, 0, 0, 0, 8}, std::span(buffer).first(8)).bytesTransferred, 8u);
    EXPECT_GE(ce::host::PlatformNowMs(), before + 40.0) << "held until the answer is ready";
    EXPECT_EQ(HexDump(buffer.data(), 9), "AA 11 71 3B 01 01 00 00 EE");
    EXPECT_EQ(device.Control(kAnswerSetup, buffer).usbError, USB_STALL_ERROR) << "fetched once";
}

TEST(CameraDevice, ATapIsItsTouchingFramesThenIdleEmptyFramesThenQuiet) {
    ots::test::RecordingPort port;
    CameraDevice device(RealisticCameraPanel(), nullptr, ots::test::FrameByFrame());
    device.Connected(&port);
    device.Tap(300, 200);
    ASSERT_TRUE(device.Settle(ots::test::kSettleMs));
    const auto samples = TouchScript(100.0).Tap(300, 200).Samples();
    const auto touching = static_cast<std::size_t>(
        std::count_if(samples.begin(), samples.end(),
                      [](const TouchSample& s) { return s.contacts[0].touching; }));
    const CameraLines finger = device.Optics().Render(std::vector<Finger>{{300, 200, 8.0}});
    const auto reports = port.Reports(0x81);
    ASSERT_EQ(port.size(), 2 * (touching + 8));
    ASSERT_EQ(reports.size(), port.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const LineImage& seen = i % 2 == 0 ? finger.a : finger.b;  // packet 0 is camera A's
        EXPECT_EQ(reports[i][4], i % 2) << "packet " << i;
        EXPECT_EQ(ots::test::DecodeImagePacket(reports[i]), i < 2 * touching ? seen : LineImage{})
            << "packet " << i;
    }
    device.Hold(1000);
    EXPECT_TRUE(device.Settle(ots::test::kSettleMs));
    EXPECT_EQ(port.size(), reports.size()) << "nothing on the panel: quiet";
    device.Disconnected();
}

}  // namespace
}  // namespace ots::sim
