#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>

#include "touch/position_blobs.h"

namespace {

using position::Blob;
using position::FindBlobs;

using Line = std::array<BYTE, 640>;

Line Runs(std::initializer_list<std::pair<int, int>> runs) {
    Line line{};
    for (auto [start, end] : runs) {
        for (int p = start; p < end; ++p) {
            line[p] = 1;
        }
    }
    return line;
}

struct Found {
    int count;
    Blob blobs[2];
};

Found Find(Line& line, INT32 first = 0, INT32 last = 640, int maxBlobs = 2) {
    Found f{};
    f.count = FindBlobs(line, first, last, maxBlobs, f.blobs);
    return f;
}

void ExpectBlob(const Blob& b, INT32 start, INT32 end) {
    EXPECT_EQ(b.start, start);
    EXPECT_EQ(b.end, end);
    EXPECT_DOUBLE_EQ(b.center, (start + end) / 2.0);
}

TEST(FindBlobs, OneRunIsOneBlobWithItsCenter) {
    Line line = Runs({{100, 111}});
    const Found f = Find(line);
    ASSERT_EQ(f.count, 1);
    ExpectBlob(f.blobs[0], 100, 111);
    EXPECT_DOUBLE_EQ(f.blobs[0].center, 105.5);
}

TEST(FindBlobs, RunsAreCutAtTheSearchedRange) {
    Line line = Runs({{40, 60}, {190, 230}});
    const Found f = Find(line, 50, 200);
    ASSERT_EQ(f.count, 2);
    ExpectBlob(f.blobs[0], 50, 60);
    ExpectBlob(f.blobs[1], 190, 200);

    Line whole = Runs({{0, 5}, {630, 640}});
    const Found g = Find(whole);
    ASSERT_EQ(g.count, 2);
    ExpectBlob(g.blobs[0], 0, 5);
    ExpectBlob(g.blobs[1], 630, 640);
}

TEST(FindBlobs, EmptyLineAndEmptyRangeFindNothing) {
    Line dark{};
    EXPECT_EQ(Find(dark).count, 0);

    Line line = Runs({{100, 200}});
    const Line before = line;
    EXPECT_EQ(Find(line, 300, 300).count, 0);
    EXPECT_EQ(Find(line, 400, 100).count, 0);
    EXPECT_EQ(line, before);
}

TEST(FindBlobs, GapOfTwoMergesAndGapOfThreeStays) {
    Line merged = Runs({{100, 110}, {112, 120}});
    const Found f = Find(merged);
    ASSERT_EQ(f.count, 1);
    ExpectBlob(f.blobs[0], 100, 120);
    EXPECT_EQ(merged[110], 1);  // the gap was closed in the working line
    EXPECT_EQ(merged[111], 1);

    Line apart = Runs({{100, 110}, {113, 120}});
    const Found g = Find(apart);
    ASSERT_EQ(g.count, 2);
    ExpectBlob(g.blobs[0], 100, 110);
    ExpectBlob(g.blobs[1], 113, 120);
    EXPECT_EQ(apart[110], 0);
}

TEST(FindBlobs, ThreeRunsCloseTheShorterInnerGap) {
    // Shorter gap on the right.
    Line right = Runs({{100, 110}, {118, 130}, {135, 140}});
    const Found f = Find(right);
    ASSERT_EQ(f.count, 2);
    ExpectBlob(f.blobs[0], 100, 110);
    ExpectBlob(f.blobs[1], 118, 140);

    // Shorter gap on the left: the sort, not the pixel order, decides.
    Line left = Runs({{100, 110}, {115, 130}, {138, 140}});
    const Found g = Find(left);
    ASSERT_EQ(g.count, 2);
    ExpectBlob(g.blobs[0], 100, 130);
    ExpectBlob(g.blobs[1], 138, 140);
}

TEST(FindBlobs, EqualGapsCloseLeftFirst) {
    Line line = Runs({{100, 110}, {115, 120}, {125, 130}});
    const Found f = Find(line);
    ASSERT_EQ(f.count, 2);
    ExpectBlob(f.blobs[0], 100, 120);
    ExpectBlob(f.blobs[1], 125, 130);
}

TEST(FindBlobs, BackgroundAtTheRangeEndsIsNoGap) {
    // The dark runs before the first and after the last shadow are not closed, whatever
    // their length; only the interior gap of 2 is.
    Line line = Runs({{120, 130}, {132, 140}});
    const Found f = Find(line, 118, 142, 2);
    ASSERT_EQ(f.count, 1);
    ExpectBlob(f.blobs[0], 120, 140);
    EXPECT_EQ(line[118], 0);
    EXPECT_EQ(line[141], 0);
}

TEST(FindBlobs, MaxBlobsOneClosesEveryGap) {
    Line line = Runs({{50, 60}, {200, 210}, {400, 420}});
    const Found f = Find(line, 0, 640, 1);
    ASSERT_EQ(f.count, 1);
    ExpectBlob(f.blobs[0], 50, 420);
}

TEST(FindBlobs, AlternatingPixelsFillTheGapListWithoutOverrun) {
    Line line{};
    for (int p = 0; p < 640; p += 2) {
        line[p] = 1;  // 320 runs, 319 interior gaps of one pixel
    }
    const Found f = Find(line);
    ASSERT_EQ(f.count, 1);
    ExpectBlob(f.blobs[0], 0, 639);
}

TEST(FindBlobs, WideGapsBeyondTwoBlobsCloseShortestFirst) {
    Line line = Runs({{10, 20}, {40, 50}, {100, 110}, {115, 120}});
    // Gaps 20 (20..40), 50 (50..100), 5 (110..115): two must close, the 50 stays open.
    const Found f = Find(line);
    ASSERT_EQ(f.count, 2);
    ExpectBlob(f.blobs[0], 10, 50);
    ExpectBlob(f.blobs[1], 100, 120);
}

TEST(FindBlobs, RangeBeyondTheLineIsClampedToIt) {
    Line line = Runs({{0, 10}, {600, 640}});
    const Found f = Find(line, -50, 5000);
    ASSERT_EQ(f.count, 2);
    ExpectBlob(f.blobs[0], 0, 10);
    ExpectBlob(f.blobs[1], 600, 640);
}

TEST(FindBlobs, OutputIsBoundedByTheCallersArray) {
    Line line = Runs({{10, 20}, {100, 110}});
    Blob one[1];
    EXPECT_EQ(FindBlobs(line, 0, 640, 2, one), 1);
    EXPECT_EQ(one[0].start, 10);
    EXPECT_EQ(one[0].end, 110);
}

}  // namespace
