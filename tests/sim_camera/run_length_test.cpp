#include "sim/camera_run_length.h"

#include <gtest/gtest.h>

#include <random>

#include "camera_test_support.h"

namespace ots::sim {
namespace {

using camtest::DecodePacket;
using camtest::Hex;

LineImage LineWith(std::initializer_list<std::pair<int, int>> lit) {
    LineImage line{};
    for (auto [start, end] : lit) {
        for (int i = start; i < end; ++i) {
            line[static_cast<std::size_t>(i)] = 1;
        }
    }
    return line;
}

// A line of alternating runs of the given lengths, starting with 0-pixels.
LineImage Alternating(const std::vector<int>& lengths) {
    std::vector<LineRun> runs;
    std::uint8_t value = 0;
    for (int n : lengths) {
        runs.push_back(LineRun{value, n});
        value ^= 1;
    }
    return LineOf(runs);
}

TEST(ImagePacket, OneFingerLineByteForByte) {
    // 300 dark, 20 lit, 320 dark: 128+128+44 | 20 | 128+128+64
    const ImagePacket packet = EncodeLine(LineWith({{300, 320}}), 1).packet;
    camtest::Bytes expected{0xAA, 0x10, 0x01, 0x08,
                            0x01, 0xFE, 0xFE, 0x56,  // (127<<1)|0 twice, (43<<1)|0
                            0x27,                    // (19<<1)|1
                            0xFE, 0xFE, 0x7E};       // 127, 127, 63, all dark
    expected.push_back(camtest::Checksum(expected));
    expected.resize(64, 0);
    EXPECT_EQ(Hex(packet), Hex(expected));
}

TEST(ImagePacket, EmptyAndFullLinesTakeFiveCodes) {
    for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{1}}) {
        LineImage line;
        line.fill(value);
        const ImagePacket packet = EncodeLine(line, 0).packet;
        EXPECT_EQ(packet[3], 6);  // five codes + 1
        const std::uint8_t full = static_cast<std::uint8_t>(0xFE | value);
        EXPECT_EQ(Hex(std::span(packet).subspan(5, 5)),
                  Hex(std::array<std::uint8_t, 5>{full, full, full, full, full}));
    }
}

TEST(ImagePacket, RunLengthsAroundTheCodeLimitRoundTrip) {
    for (int n : {1, 2, 127, 128, 129, 256, 257, 639}) {
        const LineImage line = LineWith({{0, n}});
        const std::optional<camtest::Line> decoded = DecodePacket(EncodeLine(line, 0).packet);
        ASSERT_TRUE(decoded.has_value()) << "run of " << n;
        EXPECT_EQ(*decoded, line) << "run of " << n;
    }
    EXPECT_EQ(CodesFor(RunsOf(LineWith({{0, 128}}))), 1u + 4u);
    EXPECT_EQ(CodesFor(RunsOf(LineWith({{0, 129}}))), 2u + 4u);  // 511 dark: 4 codes
}

TEST(ImagePacket, FiftyEightCodesFitExactly) {
    // 58 runs: 57 of 11 pixels and one of 13.
    std::vector<int> lengths(57, 11);
    lengths.push_back(640 - 57 * 11);
    const LineImage line = Alternating(lengths);
    ASSERT_EQ(CodesFor(RunsOf(line)), 58u);
    const EncodedLine encoded = EncodeLine(line, 0);
    EXPECT_EQ(encoded.filledRuns, 0);
    EXPECT_EQ(encoded.packet[3], 59);
    EXPECT_EQ(encoded.packet[63], camtest::Checksum(std::span(encoded.packet).first(63)));
    EXPECT_EQ(DecodePacket(encoded.packet), line);
}

TEST(ImagePacket, SpeckledLineIsFittedByFillingTheShortestRuns) {
    // A finger at 300..330 and speckle of single lit pixels every 8 pixels elsewhere: about
    // 150 runs, far more than 58 codes.
    LineImage line = LineWith({{300, 330}});
    for (int i = 4; i < 640; i += 8) {
        if (i < 290 || i > 340) {
            line[static_cast<std::size_t>(i)] = 1;
        }
    }
    ASSERT_GT(CodesFor(RunsOf(line)), kMaxLineCodes);
    const EncodedLine encoded = EncodeLine(line, 0);
    EXPECT_GT(encoded.filledRuns, 0);
    EXPECT_LE(encoded.packet[3], 59);
    const std::optional<camtest::Line> decoded = DecodePacket(encoded.packet);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, encoded.sent);
    // The finger's shadow survives whole; only speckle went.
    for (int i = 300; i < 330; ++i) {
        EXPECT_EQ((*decoded)[static_cast<std::size_t>(i)], 1) << "pixel " << i;
    }
    for (int i : {291, 295, 335, 339}) {
        EXPECT_EQ((*decoded)[static_cast<std::size_t>(i)], 0) << "pixel " << i;
    }
}

TEST(FitRunsToPacket, DarkensSpeckleRatherThanLightingGaps) {
    // Alternating single pixels: 640 runs. Lighting a dark pixel would make a 3-pixel lit
    // run, a shadow that is not there; darkening lit ones only ever widens dark runs.
    std::vector<LineRun> speckle;
    for (int i = 0; i < 640; ++i) {
        speckle.push_back(LineRun{static_cast<std::uint8_t>(i & 1), 1});
    }
    EXPECT_GT(FitRunsToPacket(speckle), 0);
    EXPECT_LE(CodesFor(speckle), kMaxLineCodes);
    int total = 0;
    for (std::size_t i = 0; i < speckle.size(); ++i) {
        total += speckle[i].length;
        if (speckle[i].value == 1) {
            EXPECT_EQ(speckle[i].length, 1) << "lit run " << i;
        }
        if (i > 0) {
            EXPECT_NE(speckle[i].value, speckle[i - 1].value) << "runs stay alternating";
        }
    }
    EXPECT_EQ(total, 640);
    // The leftmost lit pixels went first.
    EXPECT_EQ(speckle.front().value, 0);
    EXPECT_GT(speckle.front().length, 100);
}

}  // namespace
}  // namespace ots::sim
