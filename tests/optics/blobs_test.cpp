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
        std::vector<Span> want;
        INT32 first = 0, last = 640;
        int maxBlobs = 2;
    } rows[] = {
        {"one run, its center", Runs({{100, 111}}), {{100, 111}}},
        {"cut at the range", Runs({{40, 60}, {190, 230}}), {{50, 60}, {190, 200}}, 50, 200},
        {"at the line ends", Runs({{0, 5}, {630, 640}}), {{0, 5}, {630, 640}}},
        {"range clamped", Runs({{0, 10}, {600, 640}}), {{0, 10}, {600, 640}}, -50, 5000},
        {"dark line", Runs({}), {}},
        {"empty range", Runs({{100, 200}}), {}, 300, 300},
        {"inverted range", Runs({{100, 200}}), {}, 400, 100},
        {"gap of two merges", Runs({{100, 110}, {112, 120}}), {{100, 120}}},
        {"gap of three stays", Runs({{100, 110}, {113, 120}}), {{100, 110}, {113, 120}}},
        {"shorter gap right", Runs({{100, 110}, {118, 130}, {135, 140}}), {{100, 110}, {118, 140}}},
        {"shorter gap left", Runs({{100, 110}, {115, 130}, {138, 140}}), {{100, 130}, {138, 140}}},
        {"equal gaps: left", Runs({{100, 110}, {115, 120}, {125, 130}}), {{100, 120}, {125, 130}}},
        // The dark before the first and after the last shadow is no gap, whatever its length.
        {"dark range ends", Runs({{120, 130}, {132, 140}}), {{120, 140}}, 118, 142},
        {"one blob: all gaps", Runs({{50, 60}, {200, 210}, {400, 420}}), {{50, 420}}, 0, 640, 1},
        {"alternating pixels", alternating, {{0, 639}}},
        // Gaps 20, 50 and 5: two must close, the 50 stays open.
        {"shortest first",
         Runs({{10, 20}, {40, 50}, {100, 110}, {115, 120}}),
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
