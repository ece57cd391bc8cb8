#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "optics_rig.h"
#include "touch/position_blobs.h"

namespace {

using namespace optics_test;

TEST(SolveFrame, MissingImageOrContextChangesNothing) {
    const auto oc = ContextWith();
    const Frame frame = Render({{0.5, 0.5}});
    Solve(*oc, frame);
    std::vector<BYTE> before(sizeof(OpticalContext));
    std::memcpy(before.data(), oc.get(), before.size());
    SolveFrame(nullptr, 640, frame.b.data(), 640, oc.get());
    SolveFrame(frame.a.data(), 640, nullptr, 640, oc.get());
    SolveFrame(frame.a.data(), 640, frame.b.data(), 640, nullptr);
    EXPECT_EQ(std::memcmp(before.data(), oc.get(), before.size()), 0);
}

TEST(SolveFrame, FirstPointReachesTheOutputTwoFramesAfterItsMeasurement) {
    const auto oc = ContextWith();
    std::vector<SolvedPoint> raw;
    for (int i = 0; i < 6; ++i) {
        Solve(*oc, Render({{0.3 + 0.01 * i, 0.4 + 0.005 * i}}));
        raw.push_back(oc->LastRawA);
        ASSERT_EQ(raw.back().valid, 1);
        ASSERT_EQ(oc->PointA.valid, i < 2 ? 0 : 1) << "frame " << i;
        // Within the error bound of the fit, the output is the measurement of two frames ago.
        if (i >= 2) {
            EXPECT_NEAR(oc->PointA.x, raw[i - 2].x, 0.001) << "frame " << i;
            EXPECT_NEAR(oc->PointA.y, raw[i - 2].y, 0.001) << "frame " << i;
        }
    }
    EXPECT_EQ(oc->PointB.valid, 0);
}

TEST(SolveFrame, TwoShadowsRightNextToCameraAAreOneTouch) {
    const auto oc = ContextWith();
    Frame frame = Render({{0.03, 0.02, 0.001}, {0.06, 0.05, 0.001}});
    position::Blob blobs[2];
    for (Line line : {frame.a, frame.b}) {  // the frame really shows two fingers to each camera
        ASSERT_EQ(position::FindBlobs(line, 0, 640, 2, blobs), 2);
    }
    Solve(*oc, frame);
    EXPECT_EQ(oc->LastRawA.valid + oc->LastRawB.valid, 1);
    const SolvedPoint& touch = oc->LastRawA.valid ? oc->LastRawA : oc->LastRawB;
    EXPECT_LT(touch.x, 0.1);
    EXPECT_LT(touch.y, 0.08);
    // The same two fingers farther from the camera are two touches.
    const auto far = ContextWith();
    Solve(*far, Render({{0.3, 0.2, 0.01}, {0.6, 0.5, 0.01}}));
    EXPECT_EQ(far->LastRawA.valid + far->LastRawB.valid, 2);
}

// Pixels beyond the delivered length count as dark, even where the buffer holds more; of a
// longer image only the line's 640 pixels are looked at.
TEST(SolveFrame, ImagesAreReadOnlyAsFarAsTheyGo) {
    const Frame full = Render({{0.2, 0.5}});
    // Cut right before the finger's shadow in A: the next pixel is lit.
    const auto cut =
        static_cast<DWORD>(std::find(full.a.begin(), full.a.end(), 1) - full.a.begin());
    ASSERT_GT(cut, 100u);
    // A heap block of exactly the delivered length, so that reading past it is caught.
    const std::vector<BYTE> shortA(full.a.begin(), full.a.begin() + cut);
    std::vector<BYTE> longA(full.a.begin(), full.a.end());
    longA.resize(1000, 1);
    const struct {
        const BYTE* a;
        DWORD lengthA, lengthB;
        int valid, ambiguity;
    } rows[] = {
        {shortA.data(), cut, 640, 0, 1},  // A saw nothing, B one shadow: held, nothing to hold
        {full.a.data(), cut, 640, 0, 1},
        {full.a.data(), 0, 0, 0, 0},
        {longA.data(), 1000, 640, 1, 0},
    };
    for (const auto& row : rows) {
        const auto oc = ContextWith();
        SolveFrame(row.a, row.lengthA, full.b.data(), row.lengthB, oc.get());
        EXPECT_EQ(oc->LastRawA.valid, row.valid) << &row - rows;
        EXPECT_EQ(oc->AmbiguityCount, row.ambiguity) << &row - rows;
        EXPECT_TRUE(row.valid == 0 || DistanceTo(oc->LastRawA, {0.2, 0.5}) < 0.01);
    }
}

}  // namespace
