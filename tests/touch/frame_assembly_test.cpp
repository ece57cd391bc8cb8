// Image packets of the camera generation: run-length decoding, pairing the two packets of a
// frame, the packet order, and packets of the wrong form.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "touch/frame_assembly.h"
#include "touch/process_report.h"
#include "touch/run_length.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using Packet = std::array<BYTE, 64>;
using Line = std::array<BYTE, 640>;

// AA, class, 1 (image data), L = codes + 1, index, codes, checksum.
Packet ImagePacket(BYTE index, const std::vector<BYTE>& codes) {
    Packet p{};
    p[0] = 0xAA;
    p[1] = 0x10;
    p[2] = 0x01;
    p[3] = static_cast<BYTE>(codes.size() + 1);
    p[4] = index;
    std::copy(codes.begin(), codes.end(), p.begin() + 5);
    const std::size_t checksumAt = 4 + p[3];
    if (checksumAt < p.size()) {
        p[checksumAt] =
            static_cast<BYTE>(std::accumulate(p.begin(), p.begin() + checksumAt, 0x55u));
    }
    return p;
}

// The number of pixels of each value, run by run, as the controller codes them.
std::vector<BYTE> Runs(std::initializer_list<std::pair<int, BYTE>> runs) {
    std::vector<BYTE> codes;
    for (auto [length, value] : runs) {
        for (; length > 0; length -= 128) {
            const int run = std::min(length, 128);
            codes.push_back(static_cast<BYTE>(((run - 1) << 1) | value));
        }
    }
    return codes;
}

Line Decode(const Packet& packet) {
    Line line;
    line.fill(0xEE);
    EXPECT_TRUE(DecodeRunLengthLine(packet, line));
    return line;
}

int CountOf(const Line& line, BYTE value, std::size_t from, std::size_t to) {
    return static_cast<int>(std::count(line.begin() + static_cast<long>(from),
                                       line.begin() + static_cast<long>(to), value));
}

TEST(RunLengthTest, LongestAndShortestRuns) {
    const Line ones = Decode(ImagePacket(0, {0xFF}));
    EXPECT_EQ(CountOf(ones, 1, 0, 128), 128);
    EXPECT_EQ(CountOf(ones, 0, 128, 640), 512);

    const Line zero = Decode(ImagePacket(0, {0xFF, 0x00, 0x01}));
    EXPECT_EQ(CountOf(zero, 1, 0, 128), 128);
    EXPECT_EQ(zero[128], 0);
    EXPECT_EQ(zero[129], 1);
    EXPECT_EQ(CountOf(zero, 0, 130, 640), 510);
}

TEST(RunLengthTest, MixedRunsLandAtTheirPixels) {
    const Line line = Decode(ImagePacket(0, Runs({{300, 0}, {7, 1}, {20, 0}, {3, 1}})));
    EXPECT_EQ(CountOf(line, 0, 0, 300), 300);
    EXPECT_EQ(CountOf(line, 1, 300, 307), 7);
    EXPECT_EQ(CountOf(line, 0, 307, 327), 20);
    EXPECT_EQ(CountOf(line, 1, 327, 330), 3);
    EXPECT_EQ(CountOf(line, 0, 330, 640), 310);  // the rest of the line is cleared
}

TEST(RunLengthTest, OnlyTheCodesWithinTheLengthAreDecoded) {
    Packet p = ImagePacket(0, {0x03});
    p[6] = 0xFF;  // the checksum position: not a code
    p[7] = 0xFF;
    const Line line = Decode(p);
    EXPECT_EQ(CountOf(line, 1, 0, 640), 2);
}

TEST(RunLengthTest, RunsBeyondTheLineStopAtItsEnd) {
    std::array<BYTE, 700> guarded;
    guarded.fill(0xEE);
    const std::span<BYTE, 640> line(guarded.data(), 640);
    ASSERT_TRUE(DecodeRunLengthLine(ImagePacket(0, std::vector<BYTE>(58, 0xFF)), line));
    EXPECT_EQ(std::count(line.begin(), line.end(), BYTE{1}), 640);
    EXPECT_EQ(std::count(guarded.begin() + 640, guarded.end(), BYTE{0xEE}), 60);
}

TEST(RunLengthTest, LengthBytesOutsideThePacketAreRefusedWithoutTouchingTheLine) {
    for (BYTE length : {BYTE{0}, BYTE{60}, BYTE{61}, BYTE{255}}) {
        Packet p = ImagePacket(0, {0xFF});
        p[3] = length;
        Line line;
        line.fill(0xEE);
        EXPECT_FALSE(DecodeRunLengthLine(p, line)) << "L = " << int{length};
        EXPECT_EQ(std::count(line.begin(), line.end(), BYTE{0xEE}), 640);
    }
    // The longest packet: 58 codes, checksum in the last byte.
    const Line full = Decode(ImagePacket(0, std::vector<BYTE>(58, 0x01)));
    EXPECT_EQ(CountOf(full, 1, 0, 640), 58);
    // Index byte only: an empty (all zero) line.
    const Line empty = Decode(ImagePacket(0, {}));
    EXPECT_EQ(CountOf(empty, 0, 0, 640), 640);
}

class FrameAssemblyTest : public ::testing::Test {
  protected:
    bool Collect(const Packet& p) { return CollectFramePacket(device.td(), p, &lines); }
    int OnesInA() const { return CountOf(LineA(), 1, 0, 640); }
    int OnesInB() const { return CountOf(LineB(), 1, 0, 640); }
    Line LineA() const { return ToLine(device.td().LineImageA); }
    Line LineB() const { return ToLine(device.td().LineImageB); }
    static Line ToLine(const BYTE* image) {
        Line l;
        std::copy_n(image, l.size(), l.begin());
        return l;
    }

    TouchDevice device = TouchDevice::Camera();
    FrameLines lines{nullptr, nullptr};
};

TEST_F(FrameAssemblyTest, FirstThenSecondPacketCompletesTheFrame) {
    device.td().CameraParams0[0] = 0x01;
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{10, 0}, {5, 1}}))));
    EXPECT_NE(device.td().PacketPending, 0);
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{20, 0}, {9, 1}}))));

    EXPECT_EQ(device.td().PacketPending, 0);
    EXPECT_EQ(OnesInA(), 5);
    EXPECT_EQ(LineA()[10], 1);
    EXPECT_EQ(OnesInB(), 9);
    EXPECT_EQ(LineB()[20], 1);
    EXPECT_EQ(lines.first, device.td().LineImageA);
    EXPECT_EQ(lines.second, device.td().LineImageB);

    // The frame is closed: a second packet on its own completes nothing.
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));
    EXPECT_EQ(OnesInB(), 9);
}

TEST_F(FrameAssemblyTest, LoneSecondPacketIsDropped) {
    EXPECT_FALSE(Collect(ImagePacket(1, Runs({{3, 1}}))));
    EXPECT_EQ(OnesInB(), 0);
    EXPECT_EQ(device.td().PacketPending, 0);
    EXPECT_EQ(lines.first, nullptr);
}

TEST_F(FrameAssemblyTest, LaterFirstPacketWins) {
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{2, 1}}))));
    EXPECT_FALSE(Collect(ImagePacket(0, Runs({{4, 1}}))));
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{6, 1}}))));
    EXPECT_EQ(OnesInA(), 4);
    EXPECT_EQ(OnesInB(), 6);
}

TEST_F(FrameAssemblyTest, PacketOrderBitsChooseWhichLineTheSolverSeesFirst) {
    struct Case {
        BYTE firstByte;
        bool aFirst;
    };
    for (const Case c : {Case{0x00, false}, Case{0x01, true}, Case{0x02, true}, Case{0x03, true},
                         Case{0xFC, false}, Case{0x04, false}}) {
        device.td().CameraParams0[0] = c.firstByte;
        Collect(ImagePacket(0, Runs({{1, 1}})));
        ASSERT_TRUE(Collect(ImagePacket(1, Runs({{2, 1}}))));
        const BYTE* a = device.td().LineImageA;
        const BYTE* b = device.td().LineImageB;
        EXPECT_EQ(lines.first, c.aFirst ? a : b) << "first byte " << int{c.firstByte};
        EXPECT_EQ(lines.second, c.aFirst ? b : a) << "first byte " << int{c.firstByte};
    }
}

TEST_F(FrameAssemblyTest, PacketsOfTheWrongFormChangeNothing) {
    Collect(ImagePacket(0, Runs({{4, 1}})));
    const Packet pending = ImagePacket(0, Runs({{4, 1}}));

    Packet noSync = ImagePacket(0, Runs({{8, 1}}));
    noSync[0] = 0xAB;
    Packet notImage = ImagePacket(0, Runs({{8, 1}}));
    notImage[2] = 0x02;
    Packet badLength = ImagePacket(0, Runs({{8, 1}}));
    badLength[3] = 60;
    Packet thirdIndex = ImagePacket(2, Runs({{8, 1}}));
    for (const Packet& p : {noSync, notImage, badLength, thirdIndex}) {
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
    EXPECT_EQ(OnesInB(), 0);
    EXPECT_TRUE(Collect(ImagePacket(1, Runs({{8, 1}}))));
    EXPECT_EQ(OnesInA(), 4);
}

TEST(ImagePacketReportTest, ReportsNeedAWholePacketAndCompleteFramesSucceed) {
    TouchDevice device = TouchDevice::Camera();
    const Packet first = ImagePacket(0, Runs({{4, 1}}));
    const Packet second = ImagePacket(1, Runs({{4, 1}}));
    // Exactly sized copies, so that a read past the byte count is caught.
    const std::vector<BYTE> shortFirst(first.begin(), first.begin() + 63);
    EXPECT_EQ(ProcessReport(shortFirst.data(), 63, &device.ctx()), 87u);
    EXPECT_EQ(device.td().PacketPending, 0);

    EXPECT_EQ(ProcessReport(first.data(), 64, &device.ctx()), 87u);  // stored, nothing solved
    EXPECT_NE(device.td().PacketPending, 0);
    EXPECT_EQ(ProcessReport(second.data(), 64, &device.ctx()), 0u);
    EXPECT_EQ(device.td().PacketPending, 0);
}

TEST(ImagePacketReportTest, EnableTouchZeroLeavesPacketsUntouched) {
    TouchDevice device = TouchDevice::Camera();
    device.config().EnableTouch = 0;
    const Packet first = ImagePacket(0, Runs({{4, 1}}));
    EXPECT_EQ(ProcessReport(first.data(), 64, &device.ctx()), 0u);
    EXPECT_EQ(device.td().PacketPending, 0);
    EXPECT_EQ(device.td().PendingPacket[0], 0);
}

}  // namespace
}  // namespace ots::test
