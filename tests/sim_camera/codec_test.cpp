// The camera controller's byte layouts (its parameter blocks and the image packets), and how
// its simulated cameras see fingers: shadows on the lines, the mounting, the sensor's noise.
#include <gtest/gtest.h>

#include <cstring>
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

// [start, end) of each run of lit pixels, in order.
std::vector<std::pair<int, int>> LitRuns(const LineImage& line) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(line.size()); ++i) {
        if (line[static_cast<std::size_t>(i)] != 0) {
            if (runs.empty() || runs.back().second != i) {
                runs.emplace_back(i, i);
            }
            ++runs.back().second;
        }
    }
    return runs;
}

std::string Hex(const Block& block) {
    return HexDump(block.data(), block.size());
}

// 800 x 600, 100 fps, 15000 a second, cameras at y -15 and x -20 and 20, 5 frames, 0.25.
const PanelParams kPanel{800, 600, 100, 15000, -15, -20, 20, 5, 0.25f};

TEST(ParamBlocks, LayEveryFieldAtItsOffset) {
    const CameraParams lens{0x01, 8, 632, {1.0f, 0.5f, 0, 0, 0, 0, 0, -1.5f}, -2.0f, 0.25f};
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

LineImage LineWith(std::initializer_list<std::pair<int, int>> lit) {
    LineImage line{};
    for (auto [start, end] : lit) {
        std::fill(line.begin() + start, line.begin() + end, 1);
    }
    return line;
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

// The lit runs of both cameras: fingers across the realistic and the mounted panel, one whose
// shadow begins before camera A's field and is cut at pixel 0, then frames of edge jitter from
// a seed (each edge moves by at most a pixel, and the same seed repeats them), then a dead
// pixel in each camera.
//
// The last line by hand: the defaults panel's fall-back geometry puts screen (400, 300) at
// baseline (0.5, 0.375), and a 10 mm finger has a radius of 5 / 211 = 0.023697 of the baseline
// (the screen's width). From camera A: centre atan2(0.5, 0.375) = 0.927295, distance 0.625,
// half-width asin(0.023697 / 0.625) = 0.037924, edges 0.889371 and 0.965219 rad. Pixel =
// 320 · (1 + u) with u = (angle - pi/4) / 1.15: 348.93 and 370.04, so pixels 349..369 are lit.
// Camera B sees the same angles mirrored: 320 · (1 - u) = 291.07 and 269.96, pixels 270..290.
// A dead pixel splits the shadow it falls in.
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
    NoisySensor dead(SensorNoise{.deadPixelA = 360, .deadPixelB = 280});
    print("dead", CameraOptics(DefaultsCameraPanel()).Render(kCentred, &dead));
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "lit_runs.txt");
}

}  // namespace
}  // namespace ots::sim
