// Image packets of the camera generation: run-length decoding, pairing the two packets of a
// frame, the packet order, and packets of the wrong form.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <string>
#include <vector>

#include "support/touch_device.h"
#include "touch/frame_assembly.h"
#include "touch/process_report.h"
#include "touch/run_length.h"

namespace ots::test {
namespace {

using Packet = std::array<BYTE, 64>;

// AA, class, 1 (image data), L = codes + 1, index, codes, checksum.
Packet ImagePacket(BYTE index, const std::vector<BYTE>& codes) {
    Packet p{0xAA, 0x10, 0x01, static_cast<BYTE>(codes.size() + 1), index};
    std::copy(codes.begin(), codes.end(), p.begin() + 5);
    const std::size_t checksumAt = 4 + p[3];
    if (checksumAt < p.size()) {
        p[checksumAt] =
            static_cast<BYTE>(std::accumulate(p.begin(), p.begin() + checksumAt, 0x55u));
    }
    return p;
}

// The codes of runs of (length, pixel value), as the controller codes them.
std::vector<BYTE> Runs(std::initializer_list<std::pair<int, BYTE>> runs) {
    std::vector<BYTE> codes;
    for (auto [length, value] : runs) {
        for (; length > 0; length -= 128) {
            codes.push_back(static_cast<BYTE>(((std::min(length, 128) - 1) << 1) | value));
        }
    }
    return codes;
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
    Packet checksumNoCode = ImagePacket(0, {0x03});
    checksumNoCode[6] = checksumNoCode[7] = 0xFF;  // past the length: not codes
    const struct {
        const char* name;
        Packet packet;
        const char* want;
    } rows[] = {
        {"longest run", ImagePacket(0, {0xFF}), "128x1 512x0"},
        {"shortest runs", ImagePacket(0, {0xFF, 0x00, 0x01}), "128x1 1x0 1x1 510x0"},
        {"mixed runs", ImagePacket(0, Runs({{300, 0}, {7, 1}, {20, 0}, {3, 1}})),
         "300x0 7x1 20x0 3x1 310x0"},
        {"only codes within the length", checksumNoCode, "2x1 638x0"},
        {"58 codes, checksum last", ImagePacket(0, std::vector<BYTE>(58, 0x01)), "58x1 582x0"},
        {"index byte only", ImagePacket(0, {}), "640x0"},
        // One pixel, then five runs of 128: the last stops at the line's end.
        {"runs beyond the line stop at its end", ImagePacket(0, Runs({{1, 0}, {800, 1}})),
         "1x0 639x1"},
    };
    for (const auto& row : rows) {
        std::array<BYTE, 700> guarded;
        guarded.fill(0xEE);
        ASSERT_TRUE(DecodeRunLengthLine(row.packet, std::span<BYTE, 640>(guarded.data(), 640)));
        EXPECT_EQ(RunsOf(guarded.data()), row.want) << row.name;
        EXPECT_EQ(std::count(guarded.begin() + 640, guarded.end(), BYTE{0xEE}), 60);
    }
    for (BYTE length : {BYTE{0}, BYTE{60}, BYTE{61}, BYTE{255}}) {
        Packet p = ImagePacket(0, {0xFF});
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
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));  // a lone second packet is dropped
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{2, 1}}))));
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{10, 0}, {5, 1}}))));
    EXPECT_EQ(lines.first, nullptr);
    EXPECT_EQ(Lines(), "640x0 | 640x0");
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{20, 0}, {9, 1}}))));
    EXPECT_EQ(Lines(), "10x0 5x1 625x0 | 20x0 9x1 611x0");
    // The frame is closed: a second packet on its own completes nothing.
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));
    EXPECT_EQ(Lines(), "10x0 5x1 625x0 | 20x0 9x1 611x0");
}

TEST_F(FrameAssemblyTest, PacketOrderBitsChooseWhichLineTheSolverSeesFirst) {
    const std::pair<BYTE, bool> orders[] = {{0x00, false}, {0x01, true},  {0x02, true},
                                            {0x03, true},  {0xFC, false}, {0x04, false}};
    for (const auto& [firstByte, aFirst] : orders) {
        device.td().CameraParams0[0] = firstByte;
        Collect(ImagePacket(0, Runs({{1, 1}})));
        ASSERT_TRUE(Collect(ImagePacket(1, Runs({{2, 1}}))));
        const BYTE* a = device.td().LineImageA;
        const BYTE* b = device.td().LineImageB;
        EXPECT_EQ(std::pair(lines.first, lines.second), aFirst ? std::pair(a, b) : std::pair(b, a))
            << int{firstByte};
    }
}

TEST_F(FrameAssemblyTest, PacketsOfTheWrongFormChangeNothing) {
    const Packet pending = ImagePacket(0, Runs({{4, 1}}));
    Collect(pending);
    std::vector<Packet> wrong(5, ImagePacket(0, Runs({{8, 1}})));
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
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{8, 1}}))));
    EXPECT_EQ(Lines(), "4x1 636x0 | 8x1 632x0");
}

TEST(ImagePacketReportTest, ReportsNeedAWholePacketAndCompleteFramesSucceed) {
    TouchDevice device = TouchDevice::Camera();
    const Packet first = ImagePacket(0, Runs({{4, 1}}));
    const Packet second = ImagePacket(1, Runs({{4, 1}}));
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
