#include "sim/camera_device.h"

#include <gtest/gtest.h>

#include "camera_test_support.h"
#include "ce/host/clock.h"
#include "ce/host/registry_store.h"
#include "protocol/device_identity.h"
#include "protocol/vendor_command.h"

namespace ots::sim {
namespace {

using camtest::Bytes;
using camtest::DecodePacket;
using camtest::LitRuns;
using camtest::PixelRun;
using camtest::RecordingPort;

constexpr USB_DEVICE_REQUEST kAnswerSetup{0xC0, 0, 0, 0, 64};

Bytes Command(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& payload = {}) {
    Bytes bytes(64);
    bytes.resize(ots::BuildVendorCommand(cls, code, index, payload.data(), payload.size(), bytes));
    return bytes;
}

// The client's side of one command exchange: the OUT request with the command, then a 64-byte
// IN request. Returns the answer, or nothing when the IN request stalled.
std::optional<Bytes> Exchange(CameraDevice& device, Bytes command) {
    const USB_DEVICE_REQUEST out{0x40, 0, 0, 0, static_cast<WORD>(command.size())};
    const ce::host::ControlResult sent = device.Control(out, command);
    EXPECT_EQ(sent.usbError, USB_NO_ERROR);
    EXPECT_EQ(sent.bytesTransferred, command.size());
    Bytes answer(64);
    const ce::host::ControlResult got = device.Control(kAnswerSetup, answer);
    if (got.usbError != USB_NO_ERROR) {
        EXPECT_EQ(got.usbError, USB_STALL_ERROR);
        return std::nullopt;
    }
    EXPECT_EQ(got.bytesTransferred, 64u);
    return answer;
}

// Frames taken as fast as the test's port takes them (at once).
CameraDeviceOptions Immediate() {
    return CameraDeviceOptions{.pacing = Pacing::AsFastAsTaken};
}

// A device on a recording port, unplugged again at the end of the test.
struct Plugged {
    explicit Plugged(const CameraPanel& panel = RealisticCameraPanel(),
                     const CameraDeviceOptions& options = Immediate())
        : device(panel, nullptr, options) {
        device.Connected(&port);
    }
    ~Plugged() { device.Disconnected(); }

    // The lines of the sent frames as camera A and camera B saw them.
    std::vector<CameraLines> SentFrames() {
        EXPECT_TRUE(device.Settle());
        const auto packets = device.SentPackets();
        EXPECT_EQ(packets.size() % 2, 0u);
        const bool aFirst = device.Panel().CameraAFirst();
        std::vector<CameraLines> frames;
        for (std::size_t i = 0; i + 1 < packets.size(); i += 2) {
            EXPECT_EQ(packets[i][4], 0) << "packet " << i;
            EXPECT_EQ(packets[i + 1][4], 1) << "packet " << i + 1;
            const auto first = DecodePacket(packets[i]);
            const auto second = DecodePacket(packets[i + 1]);
            EXPECT_TRUE(first && second) << "frame " << i / 2;
            if (first && second) {
                frames.push_back(aFirst ? CameraLines{*first, *second}
                                        : CameraLines{*second, *first});
            }
        }
        return frames;
    }

    RecordingPort port;
    CameraDevice device;
};

bool IsEmpty(const CameraLines& frame) {
    return LitRuns(frame.a).empty() && LitRuns(frame.b).empty();
}

TEST(CameraDevice, AnswerRequestWithoutAWaitingAnswerStalls) {
    CameraDevice device;
    Bytes buffer(64, 0xEE);
    EXPECT_EQ(device.Control(kAnswerSetup, buffer).usbError, USB_STALL_ERROR);
    EXPECT_EQ(buffer, Bytes(64, 0xEE));
    ASSERT_TRUE(Exchange(device, Command(2, 0x30, 0)).has_value());
    EXPECT_EQ(device.Control(kAnswerSetup, buffer).usbError, USB_STALL_ERROR);  // fetched once
    Bytes broken = Command(2, 0x30, 0);
    broken.back() ^= 1;
    EXPECT_FALSE(Exchange(device, broken).has_value());
}

TEST(CameraDevice, OtherVendorRequestsStall) {
    CameraDevice device;
    Bytes data(18);
    EXPECT_EQ(device.Control(USB_DEVICE_REQUEST{0xC0, 1, 0, 0, 18}, data).usbError,
              USB_STALL_ERROR);  // vendor request 1
    EXPECT_EQ(device.Control(USB_DEVICE_REQUEST{0x41, 0, 0, 0, 0}, {}).usbError,
              USB_STALL_ERROR);  // vendor request to an interface
    EXPECT_EQ(device.Control(USB_DEVICE_REQUEST{0xC2, 0, 0, 0x81, 18}, data).usbError,
              USB_STALL_ERROR);  // to an endpoint
    EXPECT_TRUE(device.Firmware().CommandLog().empty());
}

TEST(CameraDevice, ShortAnswerRequestGetsTheFirstBytes) {
    CameraDevice device;
    Bytes command = Command(1, 0x71, 1, {1});
    device.Control(USB_DEVICE_REQUEST{0x40, 0, 0, 0, static_cast<WORD>(command.size())}, command);
    Bytes head(8);
    const ce::host::ControlResult got = device.Control(USB_DEVICE_REQUEST{0xC0, 0, 0, 0, 8}, head);
    EXPECT_EQ(got.usbError, USB_NO_ERROR);
    EXPECT_EQ(got.bytesTransferred, 8u);
    EXPECT_EQ(head, (Bytes{0xAA, 0x11, 0x71, 0x3B, 0x01, 0x01, 0x00, 0x00}));
}

TEST(CameraDevice, LateAnswersHoldTheAnswerRequestOnThePlatformClock) {
    const ce::host::ScopedTimeScale fast(0.05);
    CameraDevice device;
    device.Firmware().DelayAnswers(40.0);
    const double before = ce::host::PlatformNowMs();
    ASSERT_TRUE(Exchange(device, Command(2, 0x30, 0)).has_value());
    EXPECT_GE(ce::host::PlatformNowMs(), before + 40.0);
}

TEST(CameraDevice, NonVolatileMemorySurvivesUnplugAndANewInstance) {
    const auto nvm = std::make_shared<CameraNvm>();
    Bytes config(58);
    config[10] = 1;  // IsCalibrated
    config[6] = 0x20;
    config[7] = 0x03;  // MaxX 800
    {
        RecordingPort port;
        CameraDevice first(RealisticCameraPanel(), nvm);
        first.Connected(&port);
        ASSERT_TRUE(Exchange(first, Command(1, 0x31, 1, config)).has_value());
        first.Disconnected();
    }
    CameraDevice second(RealisticCameraPanel(), nvm);
    EXPECT_EQ(second.Nvm(), nvm);
    const std::optional<Bytes> answer = Exchange(second, Command(2, 0x30, 1));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Bytes(answer->begin() + 5, answer->begin() + 63), config);
    // Another controller has a memory of its own.
    CameraDevice other(RealisticCameraPanel());
    const std::optional<Bytes> fresh = Exchange(other, Command(2, 0x30, 1));
    ASSERT_TRUE(fresh.has_value());
    EXPECT_EQ((*fresh)[5 + 10], 0);  // not calibrated
}

// Packet 0 carries camera A's line when CameraParams0's byte 0 has bit 0 or 1 set (realistic:
// 0x01), camera B's when they are clear (defaults: 0x00).
TEST(CameraDevice, FramePacketsComeInTheOrderCameraParams0Announces) {
    for (const CameraPanel& panel : {RealisticCameraPanel(), DefaultsCameraPanel()}) {
        Plugged plugged(panel);
        const std::vector<Finger> fingers{{300, 200, 10}};
        plugged.device.ShowFingers(fingers);
        ASSERT_TRUE(plugged.device.Settle());
        const auto packets = plugged.device.SentPackets();
        ASSERT_EQ(packets.size(), 2u) << panel.name;
        const CameraLines seen = plugged.device.Optics().Render(fingers);
        ASSERT_NE(seen.a, seen.b);
        const bool aFirst = panel.name == "realistic";
        EXPECT_EQ(panel.CameraAFirst(), aFirst);
        EXPECT_EQ(DecodePacket(packets[0]), aFirst ? seen.a : seen.b) << panel.name;
        EXPECT_EQ(DecodePacket(packets[1]), aFirst ? seen.b : seen.a) << panel.name;
        for (const auto& report : plugged.port.Reports()) {
            EXPECT_EQ(report.endpoint, 0x81);
        }
    }
}

TEST(CameraDevice, ATapIsItsTouchingFramesThenIdleEmptyFramesThenQuiet) {
    Plugged plugged;
    plugged.device.Tap(300, 200);
    const std::vector<CameraLines> frames = plugged.SentFrames();
    TouchScript script(100.0);
    const auto samples = script.Tap(300, 200).Samples();
    const auto touching = static_cast<std::size_t>(
        std::count_if(samples.begin(), samples.end(),
                      [](const TouchSample& s) { return s.contacts[0].touching; }));
    ASSERT_GT(touching, 1u);
    ASSERT_EQ(frames.size(), touching + 8);
    const CameraLines finger = plugged.device.Optics().Render(std::vector<Finger>{{300, 200, 8.0}});
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i < touching) {
            EXPECT_EQ(frames[i].a, finger.a) << "frame " << i;
            EXPECT_EQ(frames[i].b, finger.b) << "frame " << i;
        } else {
            EXPECT_TRUE(IsEmpty(frames[i])) << "frame " << i;
        }
    }
    // Nothing on the panel: a quiet second.
    plugged.device.Hold(1000);
    EXPECT_EQ(plugged.SentFrames().size(), frames.size());
}

}  // namespace
}  // namespace ots::sim
