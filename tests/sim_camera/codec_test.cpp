// The camera controller's byte layouts: its parameter blocks and the image packets.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "sim/camera_blocks.h"
#include "sim/camera_run_length.h"
#include "support/camera_bus.h"
#include "support/hex_bytes.h"

namespace ots::sim {
namespace {

using ots::test::Bytes;
using ots::test::DecodeImagePacket;
using ots::test::HexDump;

std::string Hex(const Block& block) {
    return HexDump(block.data(), block.size());
}

// 800 x 600, 100 fps, 15000 a second, cameras at y -15 and x -20 and 20, 5 frames, 0.25.
const PanelParams kPanel{800, 600, 100, 15000, -15, -20, 20, 5, 0.25f};

TEST(ParamBlocks, LayEveryFieldAtItsOffset) {
    CameraParams lens;
    lens.flags = 0x01;
    lens.firstPixel = 8;
    lens.lastPixel = 632;
    lens.p = {1.0f, 0.5f, 0, 0, 0, 0, 0, -1.5f};
    lens.J = -2.0f;
    lens.K = 0.25f;
    // flags | first pixel 8 | last pixel 632 | p0 1.0 | p1 0.5 | p2..p6 | p7 -1.5 | J -2 | K 0.25
    EXPECT_EQ(
        Hex(EncodeCameraParams(lens)),
        HexDump(ots::test::Hex("01 00 08 00 00 00 78 02 00 00 00 00 80 3F 00 00 00 3F "
                               "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                               "00 00 C0 BF 00 00 00 C0 00 00 80 3E 00 00 00 00 00 00 00 00")));
    // width | height | fps | MaxSpeed | camOffsetY | camLOffsetX | camROffsetX | ref count | weight
    EXPECT_EQ(Hex(EncodePanelParams(kPanel)),
              HexDump(ots::test::Hex("00 00 20 03 00 00 58 02 00 00 64 00 00 00 98 3A 00 00 F1 FF "
                                     "FF FF EC FF FF FF 14 00 00 00 05 00 00 00 00 00 80 3E 00 00 "
                                     "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00")));
}

TEST(ParamBlocks, PanelBlockIsUsableOnlyWithEveryDriverCondition) {
    struct Row {
        const char* name;
        void (*change)(PanelParams&);
        bool usable;
    };
    const Row rows[] = {
        {"sample", [](PanelParams&) {}, true},
        {"fps 0", [](PanelParams& p) { p.fps = 0; }, false},
        {"width 0", [](PanelParams& p) { p.PanelWidth = 0; }, false},
        {"height 0", [](PanelParams& p) { p.PanelHeight = 0; }, false},
        {"speed 0", [](PanelParams& p) { p.MaxSpeed = 0; }, false},
        {"ref count 0", [](PanelParams& p) { p.VelocityRefCount = 0; }, false},
        {"weight 0", [](PanelParams& p) { p.VelocityWeight = 0.0f; }, true},
        {"weight 0.999", [](PanelParams& p) { p.VelocityWeight = 0.999f; }, true},
        {"weight 1", [](PanelParams& p) { p.VelocityWeight = 1.0f; }, false},
        {"weight below 0", [](PanelParams& p) { p.VelocityWeight = -0.01f; }, false},
        {"baseline 0", [](PanelParams& p) { p.camLOffsetX = 820; }, false},
        {"baseline 1", [](PanelParams& p) { p.camLOffsetX = 819; }, true},
    };
    for (const Row& row : rows) {
        PanelParams params = kPanel;
        row.change(params);
        EXPECT_EQ(IsUsablePanelParams(params), row.usable) << row.name;
    }
}

TEST(ParamBlocks, VersionBlockCarriesMinorMajorBuildAndText) {
    for (const auto& [version, text] :
         {std::pair{FirmwareVersion{.major = 2, .minor = 3, .build = 0x1234},
                    "\x03\x02\x34\x12"
                    "firmware 2.3 build 4660"},
          std::pair{FirmwareVersion{.major = 255, .minor = 255, .build = 65535},
                    "\xFF\xFF\xFF\xFF"
                    "firmware 255.255 build 65535"}}) {
        Block expected{};
        std::memcpy(expected.data(), text, std::strlen(text));
        EXPECT_EQ(Hex(EncodeVersionBlock(version)), Hex(expected));
    }
}

LineImage LineWith(std::initializer_list<std::pair<int, int>> lit) {
    LineImage line{};
    for (auto [start, end] : lit) {
        std::fill(line.begin() + start, line.begin() + end, 1);
    }
    return line;
}

TEST(ImagePacket, OneFingerLineByteForByte) {
    // 300 dark, 20 lit, 320 dark: 128+128+44 | 20 | 128+128+64
    Bytes expected{0xAA, 0x10, 0x01, 0x08, 0x01, 0xFE, 0xFE, 0x56, 0x27, 0xFE, 0xFE, 0x7E};
    expected.push_back(static_cast<BYTE>(std::accumulate(expected.begin(), expected.end(), 0x55)));
    expected.resize(64, 0);
    const ImagePacket packet = EncodeLine(LineWith({{300, 320}}), 1).packet;
    EXPECT_EQ(HexDump(packet.data(), packet.size()), HexDump(expected));
}

TEST(ImagePacket, LinesThatFitRoundTripUnchanged) {
    // 58 runs, 57 of 11 pixels and one of 13: exactly the 58 codes a packet holds.
    LineImage fiftyEight{};
    for (int run = 1; run < 58; run += 2) {
        std::fill(fiftyEight.begin() + 11 * run, fiftyEight.begin() + std::min(11 * run + 11, 640),
                  1);
    }
    std::fill(fiftyEight.begin() + 627, fiftyEight.end(), 1);
    LineImage full;
    full.fill(1);
    const struct {
        const char* name;
        LineImage line;
    } rows[] = {{"empty", {}},
                {"full", full},
                {"1", LineWith({{0, 1}})},
                {"127", LineWith({{0, 127}})},
                {"128", LineWith({{0, 128}})},
                {"129", LineWith({{0, 129}})},
                {"256", LineWith({{0, 256}})},
                {"257", LineWith({{0, 257}})},
                {"639", LineWith({{0, 639}})},
                {"58 codes", fiftyEight}};
    for (const auto& row : rows) {
        const EncodedLine encoded = EncodeLine(row.line, 0);
        EXPECT_EQ(encoded.filledRuns, 0) << row.name;
        EXPECT_EQ(DecodeImagePacket(encoded.packet), row.line) << row.name;
    }
}

// Too many runs for a packet: the shortest go, lit ones first, for a lit pixel too many is a
// phantom shadow while a dark one too many costs a finger one pixel.
TEST(ImagePacket, LinesThatDoNotFitLoseOnlySpeckle) {
    LineImage speckled = LineWith({{300, 330}});  // a finger, and lit pixels every 8 elsewhere
    for (std::size_t i = 4; i < 640; i += 8) {
        if (i < 290 || i > 340) {
            speckled[i] = 1;
        }
    }
    LineImage alternating{};
    for (std::size_t i = 1; i < alternating.size(); i += 2) {
        alternating[i] = 1;
    }
    for (const LineImage& line : {speckled, alternating}) {
        const EncodedLine encoded = EncodeLine(line, 0);
        EXPECT_GT(encoded.filledRuns, 0);
        EXPECT_EQ(DecodeImagePacket(encoded.packet), encoded.sent);
        for (std::size_t i = 0; i < line.size(); ++i) {
            EXPECT_LE(encoded.sent[i], line[i]) << "pixel " << i << " lit";
        }
    }
    const LineImage sent = EncodeLine(speckled, 0).sent;
    EXPECT_EQ(std::count(sent.begin() + 300, sent.begin() + 330, 1), 30)
        << "the finger stays whole";
}

}  // namespace
}  // namespace ots::sim
