// Image packets of the camera generation: run-length decoding, pairing the two packets of a
// frame, the packet order, and packets of the wrong form.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "support/touch_device.h"
#include "touch/frame_assembly.h"
#include "touch/process_report.h"
#include "touch/run_length.h"

namespace ots::test {
namespace {

using Packet = std::array<BYTE, 64>;
using Line = std::array<BYTE, 640>;
using RunList = std::initializer_list<std::pair<int, BYTE>>;

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

// The number of pixels of each value, run by run, as the controller codes them.
std::vector<BYTE> Runs(RunList runs) {
    std::vector<BYTE> codes;
    for (auto [length, value] : runs) {
        for (; length > 0; length -= 128) {
            codes.push_back(static_cast<BYTE>(((std::min(length, 128) - 1) << 1) | value));
        }
    }
    return codes;
}

// The line those runs should give: the rest of the line is dark.
Line LineOf(RunList runs) {
    Line line{};
    std::size_t at = 0;
    for (auto [length, value] : runs) {
        std::fill_n(line.begin() + static_cast<long>(at), length, value);
        at += static_cast<std::size_t>(length);
    }
    return line;
}

Line ToLine(const BYTE* image) {
    Line l;
    std::copy_n(image, l.size(), l.begin());
    return l;
}

TEST(RunLengthTest, CodesBecomeRunsWithinTheLengthAndTheLine) {
    Packet checksumNoCode = ImagePacket(0, {0x03});
    checksumNoCode[6] = checksumNoCode[7] = 0xFF;  // past the length: not codes
    const struct {
        const char* name;
        Packet packet;
        Line want;
    } rows[] = {
        {"longest run", ImagePacket(0, {0xFF}), LineOf({{128, 1}})},
        {"shortest runs", ImagePacket(0, {0xFF, 0x00, 0x01}), LineOf({{128, 1}, {1, 0}, {1, 1}})},
        {"mixed runs", ImagePacket(0, Runs({{300, 0}, {7, 1}, {20, 0}, {3, 1}})),
         LineOf({{300, 0}, {7, 1}, {20, 0}, {3, 1}})},
        {"only codes within the length", checksumNoCode, LineOf({{2, 1}})},
        {"58 codes, checksum last", ImagePacket(0, std::vector<BYTE>(58, 0x01)), LineOf({{58, 1}})},
        {"index byte only", ImagePacket(0, {}), LineOf({})},
        {"runs beyond the line stop at its end", ImagePacket(0, std::vector<BYTE>(58, 0xFF)),
         LineOf({{640, 1}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::array<BYTE, 700> guarded;
        guarded.fill(0xEE);
        ASSERT_TRUE(DecodeRunLengthLine(row.packet, std::span<BYTE, 640>(guarded.data(), 640)));
        EXPECT_TRUE(std::equal(row.want.begin(), row.want.end(), guarded.begin()));
        EXPECT_EQ(std::count(guarded.begin() + 640, guarded.end(), BYTE{0xEE}), 60);
    }
    for (BYTE length : {BYTE{0}, BYTE{60}, BYTE{61}, BYTE{255}}) {
        Packet p = ImagePacket(0, {0xFF});
        p[3] = length;
        Line line;
        line.fill(0xEE);
        EXPECT_FALSE(DecodeRunLengthLine(p, line)) << "L = " << int{length};
        EXPECT_EQ(std::count(line.begin(), line.end(), BYTE{0xEE}), 640);
    }
}

class FrameAssemblyTest : public ::testing::Test {
  protected:
    bool Collect(const Packet& p) { return CollectFramePacket(device.td(), p, &lines); }
    Line LineA() const { return ToLine(device.td().LineImageA); }
    Line LineB() const { return ToLine(device.td().LineImageB); }

    TouchDevice device = TouchDevice::Camera();
    FrameLines lines{nullptr, nullptr};
};

TEST_F(FrameAssemblyTest, TheLatestFirstPacketAndASecondCompleteTheFrame) {
    device.td().CameraParams0[0] = 0x01;
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));  // a lone second packet is dropped
    EXPECT_EQ(LineB(), LineOf({}));
    EXPECT_EQ(device.td().PacketPending, 0);
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{2, 1}}))));
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{10, 0}, {5, 1}}))));
    EXPECT_NE(device.td().PacketPending, 0);
    EXPECT_EQ(lines.first, nullptr);
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{20, 0}, {9, 1}}))));

    EXPECT_EQ(device.td().PacketPending, 0);
    EXPECT_EQ(LineA(), LineOf({{10, 0}, {5, 1}}));
    EXPECT_EQ(LineB(), LineOf({{20, 0}, {9, 1}}));
    // The frame is closed: a second packet on its own completes nothing.
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));
    EXPECT_EQ(LineB(), LineOf({{20, 0}, {9, 1}}));
}

TEST_F(FrameAssemblyTest, PacketOrderBitsChooseWhichLineTheSolverSeesFirst) {
    for (const auto& [firstByte, aFirst] : {std::pair{BYTE{0x00}, false},
                                            {BYTE{0x01}, true},
                                            {BYTE{0x02}, true},
                                            {BYTE{0x03}, true},
                                            {BYTE{0xFC}, false},
                                            {BYTE{0x04}, false}}) {
        SCOPED_TRACE(int{firstByte});
        device.td().CameraParams0[0] = firstByte;
        Collect(ImagePacket(0, Runs({{1, 1}})));
        ASSERT_TRUE(Collect(ImagePacket(1, Runs({{2, 1}}))));
        const BYTE* a = device.td().LineImageA;
        const BYTE* b = device.td().LineImageB;
        EXPECT_EQ(std::pair(lines.first, lines.second), aFirst ? std::pair(a, b) : std::pair(b, a));
    }
}

TEST_F(FrameAssemblyTest, PacketsOfTheWrongFormChangeNothing) {
    const Packet pending = ImagePacket(0, Runs({{4, 1}}));
    Collect(pending);
    std::vector<Packet> wrong(4, ImagePacket(0, Runs({{8, 1}})));
    wrong[0][0] = 0xAB;  // no sync
    wrong[1][2] = 0x02;  // not image data
    wrong[2][3] = 60;    // length beyond the packet
    wrong[3][4] = 2;     // a third packet
    for (const Packet& p : wrong) {
        EXPECT_FALSE(Collect(p));
        EXPECT_NE(device.td().PacketPending, 0);
        EXPECT_TRUE(std::equal(pending.begin(), pending.end(), device.td().PendingPacket));
    }
    // A malformed second packet leaves the line images alone and the frame open.
    device.td().LineImageA[639] = 0xEE;
    Packet badSecond = ImagePacket(1, Runs({{8, 1}}));
    badSecond[3] = 0;
    EXPECT_FALSE(Collect(badSecond));
    EXPECT_EQ(device.td().LineImageA[639], 0xEE);
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{8, 1}}))));
    EXPECT_EQ(LineA(), LineOf({{4, 1}}));
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
    EXPECT_NE(device.td().PacketPending, 0);
    EXPECT_EQ(ProcessReport(second.data(), 64, &device.ctx()), 0u);
    EXPECT_EQ(device.td().PacketPending, 0);
}

}  // namespace
}  // namespace ots::test
