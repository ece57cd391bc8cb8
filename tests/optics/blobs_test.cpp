#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>
#include <vector>

#include "touch/position_blobs.h"

namespace {

using position::Blob;
using Line = std::array<BYTE, 640>;
using Span = std::pair<INT32, INT32>;

Line Runs(std::initializer_list<Span> runs) {
    Line line{};
    for (auto [start, end] : runs) {
        std::fill(line.begin() + start, line.begin() + end, BYTE{1});
    }
    return line;
}

TEST(FindBlobs, ShadowsSeparatedByTheLongestGapsBecomeBlobs) {
    Line alternating{};
    for (int p = 0; p < 640; p += 2) {
        alternating[p] = 1;  // 320 runs, 319 interior gaps of one pixel
    }
    const struct {
        const char* name;
        Line line;
        INT32 first = 0, last = 640;
        int maxBlobs = 2;
        std::vector<Span> want;
    } rows[] = {
        {"one run, its center", Runs({{100, 111}}), 0, 640, 2, {{100, 111}}},
        {"runs cut at the range", Runs({{40, 60}, {190, 230}}), 50, 200, 2, {{50, 60}, {190, 200}}},
        {"runs at the line ends", Runs({{0, 5}, {630, 640}}), 0, 640, 2, {{0, 5}, {630, 640}}},
        {"range beyond the line clamped",
         Runs({{0, 10}, {600, 640}}),
         -50,
         5000,
         2,
         {{0, 10}, {600, 640}}},
        {"dark line", Runs({}), 0, 640, 2, {}},
        {"empty range", Runs({{100, 200}}), 300, 300, 2, {}},
        {"inverted range", Runs({{100, 200}}), 400, 100, 2, {}},
        {"gap of two merges", Runs({{100, 110}, {112, 120}}), 0, 640, 2, {{100, 120}}},
        {"gap of three stays", Runs({{100, 110}, {113, 120}}), 0, 640, 2, {{100, 110}, {113, 120}}},
        {"shorter inner gap closes (right)",
         Runs({{100, 110}, {118, 130}, {135, 140}}),
         0,
         640,
         2,
         {{100, 110}, {118, 140}}},
        {"shorter inner gap closes (left)",
         Runs({{100, 110}, {115, 130}, {138, 140}}),
         0,
         640,
         2,
         {{100, 130}, {138, 140}}},
        {"equal gaps close left first",
         Runs({{100, 110}, {115, 120}, {125, 130}}),
         0,
         640,
         2,
         {{100, 120}, {125, 130}}},
        // The dark before the first and after the last shadow is no gap, whatever its length.
        {"background at the range ends", Runs({{120, 130}, {132, 140}}), 118, 142, 2, {{120, 140}}},
        {"one blob closes every gap",
         Runs({{50, 60}, {200, 210}, {400, 420}}),
         0,
         640,
         1,
         {{50, 420}}},
        {"alternating pixels", alternating, 0, 640, 2, {{0, 639}}},
        // Gaps 20, 50 and 5: two must close, the 50 stays open.
        {"shortest gaps close first",
         Runs({{10, 20}, {40, 50}, {100, 110}, {115, 120}}),
         0,
         640,
         2,
         {{10, 50}, {100, 120}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Line line = row.line;
        Blob blobs[2];
        const int count = position::FindBlobs(line, row.first, row.last, row.maxBlobs, blobs);
        ASSERT_EQ(count, static_cast<int>(row.want.size()));
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(Span(blobs[i].start, blobs[i].end), row.want[i]);
            EXPECT_DOUBLE_EQ(blobs[i].center, (blobs[i].start + blobs[i].end) / 2.0);
        }
        // Closed gaps are filled in the working line, and nothing outside the range is.
        for (int p = 0; p < 640; ++p) {
            const bool inBlob = std::any_of(row.want.begin(), row.want.end(), [p](const Span& s) {
                return p >= s.first && p < s.second;
            });
            if (inBlob || (p >= row.first && p < row.last && row.line[p] == 0)) {
                EXPECT_EQ(line[p], inBlob ? 1 : 0) << "pixel " << p;
            }
        }
    }
    Line line = Runs({{10, 20}, {100, 110}});
    Blob one[1];
    EXPECT_EQ(position::FindBlobs(line, 0, 640, 2, one), 1);  // bounded by the caller's array
    EXPECT_EQ(Span(one[0].start, one[0].end), Span(10, 110));
}

}  // namespace
