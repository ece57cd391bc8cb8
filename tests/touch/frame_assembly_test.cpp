// Image packets of the camera generation: run-length decoding, pairing the two packets of a
// frame, the packet order, and packets of the wrong form.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "sim/camera_run_length.h"
#include "support/touch_device.h"
#include "touch/frame_assembly.h"
#include "touch/process_report.h"
#include "touch/run_length.h"

namespace ots::test {
namespace {

using Packet = std::array<BYTE, 64>;

// An image packet of these runs of (pixel value, length), as the controller codes them.
Packet Image(BYTE index, const std::vector<ots::sim::LineRun>& runs) {
    return ots::sim::EncodeImagePacket(runs, index);
}

// A line as its runs: "10x0 5x1 625x0".
std::string RunsOf(const BYTE* line) {
    std::string text;
    for (int at = 0, end = 0; at < 640; at = end) {
        end = static_cast<int>(
            std::find_if(line + at, line + 640, [&](BYTE b) { return b != line[at]; }) - line);
        text += (at ? " " : "") + std::to_string(end - at) + "x" + std::to_string(line[at]);
    }
    return text;
}

TEST(RunLengthTest, CodesBecomeRunsWithinTheLengthAndTheLine) {
    Packet checksumNoCode = Image(0, {{1, 2}});
    checksumNoCode[6] = checksumNoCode[7] = 0xFF;  // past the length: not codes
    const struct {
        const char* name;
        Packet packet;
        const char* want;
    } rows[] = {
        {"longest run", Image(0, {{1, 128}}), "128x1 512x0"},
        {"shortest runs", Image(0, {{1, 128}, {0, 1}, {1, 1}}), "128x1 1x0 1x1 510x0"},
        {"mixed runs", Image(0, {{0, 300}, {1, 7}, {0, 20}, {1, 3}}), "300x0 7x1 20x0 3x1 310x0"},
        {"only codes within the length", checksumNoCode, "2x1 638x0"},
        {"58 codes, checksum last", Image(0, std::vector<ots::sim::LineRun>(58, {1, 1})),
         "58x1 582x0"},
        {"index byte only", Image(0, {}), "640x0"},
        // One pixel, then five runs of 128: the last stops at the line's end.
        {"runs beyond the line stop at its end", Image(0, {{0, 1}, {1, 800}}), "1x0 639x1"},
    };
    for (const auto& row : rows) {
        std::array<BYTE, 700> guarded;
        guarded.fill(0xEE);
        ASSERT_TRUE(DecodeRunLengthLine(row.packet, std::span<BYTE, 640>(guarded.data(), 640)));
        EXPECT_EQ(RunsOf(guarded.data()), row.want) << row.name;
        EXPECT_EQ(std::count(guarded.begin() + 640, guarded.end(), BYTE{0xEE}), 60);
    }
    for (BYTE length : {BYTE{0}, BYTE{60}, BYTE{61}, BYTE{255}}) {
        Packet p = Image(0, {{1, 128}});
        p[3] = length;
        std::array<BYTE, 640> line;
        line.fill(0xEE);
        EXPECT_FALSE(DecodeRunLengthLine(p, line)) << "L = " << int{length};
        EXPECT_EQ(RunsOf(line.data()), "640x238");
    }
}

class FrameAssemblyTest : public ::testing::Test {
  protected:
    bool Collect(const Packet& p) { return CollectFramePacket(device.td(), p, &lines); }
    std::string Lines() {
        return RunsOf(device.td().LineImageA) + " | " + RunsOf(device.td().LineImageB);
    }

    TouchDevice device = TouchDevice::Camera();
    FrameLines lines{nullptr, nullptr};
};

TEST_F(FrameAssemblyTest, TheLatestFirstPacketAndASecondCompleteTheFrame) {
    device.td().CameraParams0[0] = 0x01;
    EXPECT_FALSE(Collect(Image(1, {{1, 3}})));  // a lone second packet is dropped
    EXPECT_FALSE(Collect(Image(0, {{1, 2}})));
    EXPECT_FALSE(Collect(Image(0, {{0, 10}, {1, 5}})));
    EXPECT_EQ(lines.first, nullptr);
    EXPECT_EQ(Lines(), "640x0 | 640x0");
    EXPECT_TRUE(Collect(Image(1, {{0, 20}, {1, 9}})));
    EXPECT_EQ(Lines(), "10x0 5x1 625x0 | 20x0 9x1 611x0");
    // The frame is closed: a second packet on its own completes nothing.
    EXPECT_FALSE(Collect(Image(1, {{1, 3}})));
    EXPECT_EQ(Lines(), "10x0 5x1 625x0 | 20x0 9x1 611x0");
}

TEST_F(FrameAssemblyTest, PacketOrderBitsChooseWhichLineTheSolverSeesFirst) {
    const std::pair<BYTE, bool> orders[] = {{0x00, false}, {0x01, true},  {0x02, true},
                                            {0x03, true},  {0xFC, false}, {0x04, false}};
    for (const auto& [firstByte, aFirst] : orders) {
        device.td().CameraParams0[0] = firstByte;
        Collect(Image(0, {{1, 1}}));
        ASSERT_TRUE(Collect(Image(1, {{1, 2}})));
        const BYTE* a = device.td().LineImageA;
        const BYTE* b = device.td().LineImageB;
        EXPECT_EQ(std::pair(lines.first, lines.second), aFirst ? std::pair(a, b) : std::pair(b, a))
            << int{firstByte};
    }
}

TEST_F(FrameAssemblyTest, PacketsOfTheWrongFormChangeNothing) {
    const Packet pending = Image(0, {{1, 4}});
    Collect(pending);
    std::vector<Packet> wrong(5, Image(0, {{1, 8}}));
    wrong[0][0] = 0xAB;  // no sync
    wrong[1][2] = 0x02;  // not image data
    wrong[2][3] = 60;    // length beyond the packet
    wrong[3][4] = 2;     // a third packet
    wrong[4][3] = 0;     // a second packet without an index
    wrong[4][4] = 1;
    for (const Packet& p : wrong) {
        EXPECT_FALSE(Collect(p));
        EXPECT_TRUE(std::equal(pending.begin(), pending.end(), device.td().PendingPacket));
    }
    // The line images are untouched and the frame is still open.
    EXPECT_EQ(Lines(), "640x0 | 640x0");
    EXPECT_TRUE(Collect(Image(1, {{1, 8}})));
    EXPECT_EQ(Lines(), "4x1 636x0 | 8x1 632x0");
}

TEST(ImagePacketReportTest, ReportsNeedAWholePacketAndCompleteFramesSucceed) {
    TouchDevice device = TouchDevice::Camera();
    const Packet first = Image(0, {{1, 4}});
    const Packet second = Image(1, {{1, 4}});
    // Exactly sized copies, so that a read past the byte count is caught.
    const std::vector<BYTE> shortFirst(first.begin(), first.begin() + 63);
    EXPECT_EQ(ProcessReport(shortFirst.data(), 63, &device.ctx()), 87u);
    EXPECT_EQ(device.td().PacketPending, 0);
    device.config().EnableTouch = 0;
    EXPECT_EQ(ProcessReport(first.data(), 64, &device.ctx()), 0u);
    EXPECT_EQ(device.td().PacketPending, 0);
    device.config().EnableTouch = 1;
    EXPECT_EQ(ProcessReport(first.data(), 64, &device.ctx()), 87u);  // stored, nothing solved
    EXPECT_EQ(ProcessReport(second.data(), 64, &device.ctx()), 0u);
    EXPECT_EQ(ProcessReport(second.data(), 64, &device.ctx()), 87u);  // the frame was closed
}

}  // namespace
}  // namespace ots::test
