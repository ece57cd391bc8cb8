// The camera controller's byte layouts (its parameter blocks and the image packets), and how
// its simulated cameras see fingers: shadows on the lines, the mounting, the sensor's noise.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>

#include "sim/camera_blocks.h"
#include "sim/camera_optics.h"
#include "sim/camera_run_length.h"
#include "support/camera_bus.h"
#include "support/hex_bytes.h"
#include "touch/run_length.h"

namespace ots::sim {
namespace {

using ots::test::HexDump;
using ots::test::LitRuns;
using Runs = std::vector<std::pair<int, int>>;

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

// The realistic panel's version (2.3 build 17) is in the firmware transcript; here the
// largest fields, which must not be cut.
TEST(ParamBlocks, VersionBlockCarriesMinorMajorBuildAndText) {
    const std::string text =
        "\xFF\xFF\xFF\xFF"
        "firmware 255.255 build 65535";
    Block expected{};
    std::copy(text.begin(), text.end(), expected.begin());
    EXPECT_EQ(Hex(EncodeVersionBlock({.major = 255, .minor = 255, .build = 65535})), Hex(expected));
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
    ots::test::Bytes expected{0xAA, 0x10, 0x01, 0x08, 0x01, 0xFE,
                              0xFE, 0x56, 0x27, 0xFE, 0xFE, 0x7E};
    expected.push_back(static_cast<BYTE>(std::accumulate(expected.begin(), expected.end(), 0x55)));
    expected.resize(64, 0);
    const ImagePacket packet = EncodeLine(LineWith({{300, 320}}), 1).packet;
    EXPECT_EQ(HexDump(packet.data(), packet.size()), HexDump(expected));
}

// Lines that fit a packet round-trip unchanged. Too many runs for a packet: the shortest go,
// lit ones first, for a lit pixel too many is a phantom shadow while a dark one too many costs
// a finger one pixel.
TEST(ImagePacket, LinesRoundTripOrLoseOnlySpeckle) {
    // 58 runs, one of 128 pixels (one code), 56 of 9 and one of 8: exactly the 58 codes a
    // packet holds.
    LineImage fiftyEight{};
    for (int start = 128; start < 640; start += 18) {
        std::fill(fiftyEight.begin() + start, fiftyEight.begin() + std::min(start + 9, 640), 1);
    }
    LineImage speckled = LineWith({{300, 330}});  // a finger, and lit pixels every 8 elsewhere
    LineImage alternating{};
    for (std::size_t i = 1; i < 640; i += 2) {
        alternating[i] = 1;
        speckled[i] = speckled[i] | (i % 8 == 5 && (i < 290 || i > 340) ? 1 : 0);
    }
    const struct {
        const char* name;
        LineImage line;
        bool fits = true;
    } rows[] = {{"empty", {}},
                {"full", LineWith({{0, 640}})},
                {"1", LineWith({{0, 1}})},
                {"127", LineWith({{0, 127}})},
                {"128", LineWith({{0, 128}})},
                {"129", LineWith({{0, 129}})},
                {"256", LineWith({{0, 256}})},
                {"257", LineWith({{0, 257}})},
                {"639", LineWith({{0, 639}})},
                {"58 codes", fiftyEight},
                {"speckled", speckled, false},
                {"alternating", alternating, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const EncodedLine encoded = EncodeLine(row.line, 0);
        EXPECT_EQ(encoded.filledRuns == 0, row.fits);
        EXPECT_EQ(encoded.sent == row.line, row.fits);
        LineImage decoded{};
        EXPECT_TRUE(DecodeRunLengthLine(encoded.packet, decoded));
        EXPECT_EQ(decoded, encoded.sent) << "as the driver reads it";
        for (std::size_t i = 0; i < row.line.size(); ++i) {
            EXPECT_LE(encoded.sent[i], row.line[i]) << "pixel " << i << " lit";
        }
    }
    const LineImage sent = EncodeLine(speckled, 0).sent;
    EXPECT_EQ(std::count(sent.begin() + 300, sent.begin() + 330, 1), 30)
        << "the finger stays whole";
}

const std::vector<Finger> kCentred{{400, 300, 10}};

// The defaults panel's fall-back geometry puts screen (400, 300) at baseline (0.5, 0.375), and
// a 10 mm finger has a radius of 5 / 211 = 0.023697 of the baseline (the screen's width).
// From camera A: centre atan2(0.5, 0.375) = 0.927295, distance 0.625, half-width
// asin(0.023697 / 0.625) = 0.037924, edges 0.889371 and 0.965219 rad. Pixel = 320 · (1 + u)
// with u = (angle - pi/4) / 1.15: 348.93 and 370.04, so pixels 349..369 are lit. Camera B
// sees the same angles mirrored: 320 · (1 - u) = 291.07 and 269.96, pixels 270..290. A dead
// pixel splits the shadow it falls in.
TEST(CameraOptics, DefaultLensesPutACentredFingerWhereTheLinearModelSays) {
    const CameraOptics optics(DefaultsCameraPanel());
    const std::optional<Shadow> a = optics.ShadowOf(kCentred[0], Camera::A);
    ASSERT_TRUE(a.has_value());
    EXPECT_NEAR(a->lowAngle, 0.889371, 1e-6);
    EXPECT_NEAR(a->highAngle, 0.965219, 1e-6);
    EXPECT_NEAR(a->firstEdgePx, 348.932, 1e-3);
    EXPECT_NEAR(a->lastEdgePx, 370.037, 1e-3);
    const CameraLines lines = optics.Render(kCentred);
    EXPECT_EQ(LitRuns(lines.a), (Runs{{349, 370}}));
    EXPECT_EQ(LitRuns(lines.b), (Runs{{270, 291}}));
    NoisySensor sensor(SensorNoise{.deadPixelA = 360, .deadPixelB = -1});
    const CameraLines dead = optics.Render(kCentred, &sensor);
    EXPECT_EQ(LitRuns(dead.a), (Runs{{349, 360}, {361, 370}}));
    EXPECT_EQ(LitRuns(dead.b), (Runs{{270, 291}}));
}

// The lit runs of both cameras: fingers across the realistic and the mounted panel, one whose
// shadow begins before camera A's field and is cut at pixel 0, then frames of edge jitter from
// a seed (each edge moves by at most a pixel, and the same seed repeats them).
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_sim_camera --gtest_filter='CameraOptics.*'
TEST(CameraOptics, FingersGiveTheLitRunsOfTheTranscript) {
    std::string text;
    const auto print = [&text](const char* name, const CameraLines& lines) {
        text += name;
        for (const LineImage* line : {&lines.a, &lines.b}) {
            text += line == &lines.a ? " A" : " | B";
            for (const auto& [start, end] : LitRuns(*line)) {
                text += " " + std::to_string(start) + "-" + std::to_string(end);
            }
        }
        text += "\n";
    };
    const std::vector<Finger> fingers = {{-40, 300, 10}, {5, 5}, {400, 300}, {795, 595, 12}};
    for (const CameraPanel& panel : {RealisticCameraPanel(), MountedCameraPanel()}) {
        for (const Finger& finger : fingers) {
            print(panel.name.c_str(), CameraOptics(panel).Render(std::vector{finger}));
        }
    }
    NoisySensor jitter(SensorNoise{.edgeJitter = true, .seed = 42});
    for (int frame = 0; frame < 12; ++frame) {
        print("jitter", CameraOptics(RealisticCameraPanel()).Render(kCentred, &jitter));
    }
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "lit_runs.txt");
}

}  // namespace
}  // namespace ots::sim
