// Controllers' traffic recorded and played back through the installed driver: a recording
// gives again the mouse events of the run it came from, and a request the recording does not
// have next is reported, not answered.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "sim/recording_device.h"
#include "sim/replay_device.h"
#include "support/bus.h"
#include "support/host_process.h"

namespace ots::test {
namespace {

using ots::sim::RecordedMouseEvent;
using ots::sim::UsbRecording;

std::vector<RecordedMouseEvent> Injected(const ce::host::MouseEventRecorder& recorder) {
    std::vector<RecordedMouseEvent> events;
    for (const ce::host::MouseEvent& event : recorder.Events()) {
        events.push_back({event.flags, event.dx, event.dy});
    }
    return events;
}

UsbRecording Parsed(const std::string& text) {
    auto parsed = ots::sim::ParseRecording(text);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        ADD_FAILURE() << *error;
        return {};
    }
    return std::get<UsbRecording>(parsed);
}

class ReplayTest : public IntegrationTest {
  protected:
    // Plays the recording to its end; what the driver injected meanwhile.
    std::vector<RecordedMouseEvent> Replay(const UsbRecording& recording,
                                           ots::sim::ReplayProgress* progress) {
        ce::host::MouseEventRecorder recorder;
        auto device = std::make_shared<ots::sim::ReplayDevice>(recording);
        ce::host::ScopedUsbDevice plugged(device);
        EXPECT_TRUE(device->WaitDone(kSettleMs));
        recorder.WaitForCount(ots::sim::MouseEventsOf(recording).size(), kSettleMs);
        plugged.Unplug();
        *progress = device->Progress();
        return Injected(recorder);
    }

    ce::host::ScopedTimeScale fast_{0.01};
};

// Every recording in the tree, both generations among them.
TEST_F(ReplayTest, EachRecordingGivesTheMouseEventsOfItsRun) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(OTS_GOLDEN_DIR)) {
        const UsbRecording recording = Parsed(ReadFile(entry.path()));
        ots::sim::ReplayProgress progress;
        const std::vector<RecordedMouseEvent> injected = Replay(recording, &progress);
        EXPECT_TRUE(progress.Done() && progress.differences.empty()) << entry.path();
        EXPECT_GT(progress.packetsRecorded, 0u) << entry.path();
        EXPECT_TRUE(injected == ots::sim::MouseEventsOf(recording)) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 2u);
}

// A live coordinate controller recorded while it is tapped and dragged; the recording played
// back gives the same events.
TEST_F(ReplayTest, ALiveRunRecordedPlaysBackToTheSameEvents) {
    TempDir dir;
    std::vector<RecordedMouseEvent> live;
    {
        ce::host::MouseEventRecorder recorder;
        std::string error;
        auto controller = std::make_shared<CoordinateController>();
        auto recording = ots::sim::RecordingDevice::Open(controller, dir.File("live.rec"), &error);
        ASSERT_TRUE(recording) << error;
        ce::host::ScopedUsbDevice plugged(recording);
        controller->TouchDown(100, 100);
        controller->Hold(50);
        controller->MoveTo(600, 400, 200);
        controller->TouchUp();
        ASSERT_TRUE(controller->Settle(kSettleMs));
        live = Injected(recorder);
    }
    const UsbRecording recording = Parsed(ReadFile(dir.File("live.rec")));
    EXPECT_TRUE(ots::sim::MouseEventsOf(recording) == live);
    ots::sim::ReplayProgress progress;
    EXPECT_TRUE(Replay(recording, &progress) == live);
    EXPECT_GT(live.size(), 10u);
}

// The camera's first initialisation command asked with other data: stalled and reported, and
// nothing recorded after it is sent.
TEST_F(ReplayTest, ARequestOtherThanTheRecordedOneIsReportedNotAnswered) {
    std::string text = ReadFile(OTS_GOLDEN_DIR "camera-tap-drag.rec");
    const std::size_t first = text.find(" S Co:00 ");
    ASSERT_NE(first, std::string::npos);
    const std::size_t data = text.find(" = aa", first) + 3;
    text[data + 1] = 'b';  // the frame's first byte: 0xab instead of 0xaa
    const UsbRecording recording = Parsed(text);
    ce::host::MouseEventRecorder recorder;
    auto device = std::make_shared<ots::sim::ReplayDevice>(recording);
    ce::host::ScopedUsbDevice plugged(device);
    plugged.Unplug();
    const ots::sim::ReplayProgress progress = device->Progress();
    ASSERT_FALSE(progress.differences.empty());
    EXPECT_EQ(progress.differences.front(),
              "request 1 is s 40 00 0000 0000 0007 with other data, recorded s 40 00 0000 0000 "
              "0007");
    EXPECT_EQ(progress.controls, 0u);
    EXPECT_EQ(progress.packets, 0u);
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST(RecordingText, ARecordingThatDoesNotHoldTogetherNamesItsLine) {
    const std::string head =
        "# otsusb usb recording 1\n"
        "D device 12011001 00000008 175a0101 00010000 0001\n"
        "D config 09022000 01010080 32090400 0002ff00 00000705 01024000 00070581 0308000a\n";
    const std::pair<std::string, std::string> cases[] = {
        {"# otsusb usb recording 2\n", "line 1: expected \"# otsusb usb recording 1\""},
        {head + "1.0 C Ii:81 0 6 = 01010008\n",
         "line 4: expected the status, the length and the packet"},
        {head + "1.0 C Ii:01 0 1 = 01\n", "line 4: expected the status, the length and the packet"},
        {head + "1.0 S Ci:00 s 40 00 0000 0000 0007 0\n",
         "line 4: expected a setup packet, the length sent and its data"},
        {head + "1.0 S Co:00 s 40 00 0000 0000 0001 2 = 0102\n",
         "line 4: expected a setup packet, the length sent and its data"},
        {head + "1.0 C Ci:00 0 0\n", "line 4: a completion without its request"},
        {head + "1.0 S Ci:00 s c0 00 0000 0000 0002 0\n2.0 C Ci:00 0 3 = 010203\n",
         "line 5: expected the status, the length and the data received"},
        {head + "1.0 S Ci:00 s c0 00 0000 0000 0002 0\n", "the last request never completed"},
        {head + "-1 E 8002 1 2\n", "line 4: expected a timestamp and S, C or E"},
        {head + "1.0 E 8002 1\n", "line 4: expected the flags (hex), dx and dy of a mouse event"},
        {"# otsusb usb recording 1\nD device 12011001\n", "line 2: not a device descriptor"},
        {"# otsusb usb recording 1\nD config 09022100 01010080 32\n",
         "line 2: not a configuration descriptor"},
        {head.substr(0, head.rfind("D config")), "the descriptors (D lines) are missing"},
        {"", "an empty recording"},
    };
    for (const auto& [text, error] : cases) {
        auto parsed = ots::sim::ParseRecording(text);
        const auto* found = std::get_if<std::string>(&parsed);
        EXPECT_EQ(found ? *found : "(accepted)", error) << text;
    }
}

}  // namespace
}  // namespace ots::test
