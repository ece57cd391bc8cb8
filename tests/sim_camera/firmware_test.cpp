// The camera controller's command protocol, at the firmware and through the device's two
// vendor requests.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ce/host/clock.h"
#include "protocol/vendor_command.h"
#include "sim/camera_device.h"
#include "support/camera_bus.h"

namespace ots::sim {
namespace {

using ots::test::Bytes;
using ots::test::Framed;
using ots::test::HexDump;
using ots::test::PatternBlock;

// One transcript line per command: what the firmware made of it and, when it was fetched,
// the answer the host got.
class FirmwareTest : public ::testing::Test {
  protected:
    void Send(const Bytes& command, bool fetch = true) {
        firmware->ReceiveCommand(command);
        text += firmware->CommandLog().back().Text();
        if (fetch) {
            const auto answer = firmware->TakeAnswer();
            text +=
                " => " + (answer ? HexDump(answer->bytes.data(), answer->bytes.size()) : "none");
        }
        text += "\n";
    }

    std::shared_ptr<CameraNvm> nvm = std::make_shared<CameraNvm>();
    const CameraPanel panel = [] {
        CameraPanel p = RealisticCameraPanel();
        p.version = {.major = 255, .minor = 254, .build = 65534};  // the longest text, uncut
        return p;
    }();
    std::optional<CameraFirmware> firmware{std::in_place, panel, nvm};
    std::string text;
};

// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_sim_camera --gtest_filter='FirmwareTest.*'
TEST_F(FirmwareTest, CommandsGiveTheAnswersOfTheTranscript) {
    // The blocks the controller reports: CameraParams0 and 1, PanelParams, the version.
    for (const auto& [code, index] : {std::pair{0x10, 0}, {0x10, 1}, {0x30, 0}, {0x32, 0}}) {
        Send(Framed(2, static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(index)));
    }
    // Refused with a reason: unknown command, bad length, bad argument.
    for (const Bytes& command :
         {Framed(2, 0x33, 0), Framed(3, 0x10, 0), Framed(1, 0x72, 0, {1}), Framed(2, 0x10, 0, {0}),
          Framed(1, 0x71, 0), Framed(1, 0x31, 1, Bytes(57, 1)), Framed(2, 0x10, 2),
          Framed(2, 0x32, 1), Framed(1, 0x71, 2, {1}), Framed(1, 0x71, 0, {2}),
          Framed(1, 0x31, 0, Bytes(58, 1)), Framed(1, 0x15, 2, Bytes(58, 1))}) {
        Send(command);
    }
    // Malformed frames are discarded and drop the answer still waiting.
    const Bytes good = Framed(2, 0x30, 0);
    Bytes badChecksum = good;
    badChecksum.back() ^= 0xFF;
    Bytes noSync = good;
    noSync[0] = 0xAB;
    noSync.back() = static_cast<BYTE>(noSync.back() + 1);
    Bytes trailing = good;
    trailing.push_back(0);
    for (const Bytes& bad :
         {badChecksum, noSync, trailing, Bytes(good.begin(), good.end() - 1), Bytes{}}) {
        Send(good, false);
        Send(bad);
    }
    // A bracket opens one camera; reads and stores while either is closed are served, marked.
    for (const Bytes& command :
         {Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}, Framed(2, 0x30, 0),
          Framed(1, 0x71, 1, {1}), Framed(1, 0x31, 1, PatternBlock(0)), Framed(1, 0x71, 0, {0}),
          Framed(1, 0x15, 0, PatternBlock(0))}) {
        Send(command);
    }
    // Stores reach the non-volatile memory and outlive a re-plug.
    const struct {
        std::uint8_t store, read, index, seed;
    } stores[] = {{0x31, 0x30, 1, 0x40}, {0x15, 0x14, 0, 0x80}, {0x15, 0x14, 1, 0xC0}};
    for (const auto& row : stores) {
        Send(Framed(1, row.store, row.index, PatternBlock(row.seed)));
    }
    Send(Framed(2, 0x30, 0), false);  // fetched by nobody
    firmware.emplace(panel, nvm);
    for (const auto& row : stores) {
        Send(Framed(2, row.read, row.index));
    }
    // Answer faults spoil exactly the answers asked for; the commands still take effect.
    const Bytes open0 = Framed(1, 0x71, 0, {1});
    firmware->DropAnswers(1);
    Send(open0);
    firmware->EchoWrongIndex(1);
    Send(open0);
    firmware->AnswerWithClass(0x21, 1);
    Send(open0);
    Send(open0);
    firmware->DropAnswers(kEveryAnswer);
    firmware->EchoWrongIndex(kEveryAnswer);
    for (int i = 0; i < 3; ++i) {
        Send(Framed(2, 0x32, 0));
    }
    firmware->ClearFaults();
    Send(Framed(2, 0x32, 0));
    text += firmware->TakeAnswer() ? "fetched twice\n" : "fetched once\n";
    text += "bracketed " + std::to_string(firmware->IsBracketed(0)) +
            std::to_string(firmware->IsBracketed(1)) + ", stored " + std::to_string(nvm->Writes());
    ots::test::ExpectGolden(text + "\n", OTS_GOLDEN_DIR "firmware.txt");
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

// A tap is its touching frames (packet 0 camera A's line), then idle empty frames, then quiet.
// Its first packet: sync AA, class 10, checksum 55 plus every byte before it; 7 bytes,
// packet 0, then runs from pixel 0, dark and lit in turn, each code 2 (n - 1) + lit for n pixels
// up to 128: FE FE E0 is 369 dark, 37 is 28 lit, FE E4 is the 243 dark to the line's end.
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_sim_camera --gtest_filter='CameraDevice.*'
TEST(CameraDevice, ATapIsItsTouchingFramesThenIdleEmptyFramesThenQuiet) {
    ots::test::RecordingPort port;
    CameraDevice device(RealisticCameraPanel(), nullptr, ots::test::FrameByFrame());
    device.Connected(&port);
    device.Tap(300, 200);
    ASSERT_TRUE(device.Settle(ots::test::kSettleMs));
    ots::test::ExpectGolden(port.Transcript(), OTS_GOLDEN_DIR "tap.txt");
    const std::size_t sent = port.size();
    device.Hold(1000);
    ASSERT_TRUE(device.Settle(ots::test::kSettleMs));
    EXPECT_EQ(port.size(), sent) << "nothing on the panel: quiet";
    device.Disconnected();
}

}  // namespace
}  // namespace ots::sim
