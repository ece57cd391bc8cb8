#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "optics_scene.h"
#include "touch/position_blobs.h"

namespace {

using namespace optics_test;

// Finger positions over time, linear between two points.
Finger Along(const Finger& from, const Finger& to, int frame, int frames) {
    const double s = static_cast<double>(frame) / frames;
    return Finger{from.x + (to.x - from.x) * s, from.y + (to.y - from.y) * s, from.r};
}

int BlobCount(Line line) {
    position::Blob blobs[2];
    return position::FindBlobs(line, 0, 640, 2, blobs);
}

TEST(SolveFrame, MissingImageOrContextChangesNothing) {
    const auto oc = DefaultContext();
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
    const auto oc = DefaultContext();
    const Finger from{0.3, 0.4};
    const Finger to{0.5, 0.5};
    std::vector<SolvedPoint> raw;
    for (int i = 0; i < 6; ++i) {
        Solve(*oc, Render({Along(from, to, i, 20)}));
        raw.push_back(oc->LastRawA);
        ASSERT_EQ(raw.back().valid, 1);
        if (i < 2) {
            EXPECT_EQ(oc->PointA.valid, 0) << "frame " << i;
            continue;
        }
        ASSERT_EQ(oc->PointA.valid, 1) << "frame " << i;
        // Within the error bound of the fit, the output is the measurement of two frames ago.
        EXPECT_NEAR(oc->PointA.x, raw[i - 2].x, 0.001) << "frame " << i;
        EXPECT_NEAR(oc->PointA.y, raw[i - 2].y, 0.001) << "frame " << i;
    }
    // Three samples and a fit of degree 2 through them: exactly the first measurement.
    EXPECT_EQ(oc->PointB.valid, 0);
}

TEST(SolveFrame, TwoShadowsRightNextToCameraAAreOneTouch) {
    const auto oc = DefaultContext();
    const Frame frame = Render({{0.03, 0.02, 0.001}, {0.06, 0.05, 0.001}});
    ASSERT_EQ(BlobCount(frame.a), 2);  // the frame really shows two fingers to each camera
    ASSERT_EQ(BlobCount(frame.b), 2);
    Solve(*oc, frame);
    EXPECT_EQ(oc->LastRawA.valid + oc->LastRawB.valid, 1);
    const SolvedPoint& touch = oc->LastRawA.valid ? oc->LastRawA : oc->LastRawB;
    EXPECT_LT(touch.x, 0.1);
    EXPECT_LT(touch.y, 0.08);

    // The same two fingers farther from the camera are two touches.
    const auto far = DefaultContext();
    Solve(*far, Render({{0.3, 0.2, 0.01}, {0.6, 0.5, 0.01}}));
    EXPECT_EQ(far->LastRawA.valid + far->LastRawB.valid, 2);
}

// Finger 1 touches first, finger 2 joins at frame `join`; both move along their paths.
struct TwoFingerScript {
    Finger from1{0.3, 0.4};
    Finger to1{0.45, 0.55};
    Finger from2{0.7, 0.5};
    Finger to2{0.75, 0.35};
    int join = 5;
    int frames = 40;

    Finger One(int i) const { return Along(from1, to1, i, frames); }
    Finger Two(int i) const { return Along(from2, to2, i, frames); }
    Frame At(int i) const { return i < join ? Render({One(i)}) : Render({One(i), Two(i)}); }
};

TEST(SolveFrame, OneBlobPerCameraAfterTwoTouchesKeepsTheIdentityItContinues) {
    const TwoFingerScript script;
    for (const bool keepFirst : {true, false}) {
        SCOPED_TRACE(keepFirst ? "finger 2 lifts" : "finger 1 lifts");
        const auto oc = DefaultContext();
        for (int i = 0; i < 15; ++i) {
            Solve(*oc, script.At(i));
        }
        ASSERT_EQ(oc->LastRawA.valid + oc->LastRawB.valid, 2);
        for (int i = 15; i < 20; ++i) {
            const Finger left = keepFirst ? script.One(i) : script.Two(i);
            Solve(*oc, Render({left}));
            const SolvedPoint& kept = keepFirst ? oc->LastRawA : oc->LastRawB;
            const SolvedPoint& gone = keepFirst ? oc->LastRawB : oc->LastRawA;
            ASSERT_EQ(kept.valid, 1);
            EXPECT_EQ(gone.valid, 0);
            EXPECT_LT(DistanceTo(kept, left), 0.01);
        }
    }
}

TEST(SolveFrame, ShortImagesAreReadOnlyAsFarAsTheyGo) {
    const Frame full = Render({{0.2, 0.5}});
    ASSERT_EQ(full.a[100], 0);  // the finger's shadow in A lies beyond pixel 100

    // A heap block of exactly the delivered length, so that reading past it is caught.
    std::vector<BYTE> shortA(full.a.begin(), full.a.begin() + 100);
    const auto oc = DefaultContext();
    SolveFrame(shortA.data(), static_cast<DWORD>(shortA.size()), full.b.data(), 640, oc.get());
    EXPECT_EQ(oc->LastRawA.valid, 0);  // A saw nothing, B one shadow: held, nothing to hold
    EXPECT_EQ(oc->AmbiguityCount, 1);

    // Pixels beyond the delivered length count as dark even if the buffer holds more.
    const auto cut = DefaultContext();
    SolveFrame(full.a.data(), 100, full.b.data(), 640, cut.get());
    EXPECT_EQ(cut->LastRawA.valid, 0);
    EXPECT_EQ(cut->AmbiguityCount, 1);

    const auto none = DefaultContext();
    SolveFrame(full.a.data(), 0, full.b.data(), 0, none.get());
    EXPECT_EQ(none->AmbiguityCount, 0);
    EXPECT_EQ(none->LastRawA.valid, 0);

    // Longer images: only the line's 640 pixels are looked at.
    std::vector<BYTE> longA(full.a.begin(), full.a.end());
    longA.resize(1000, 1);
    const auto wide = DefaultContext();
    SolveFrame(longA.data(), 1000, full.b.data(), 640, wide.get());
    ASSERT_EQ(wide->LastRawA.valid, 1);
    EXPECT_LT(DistanceTo(wide->LastRawA, {0.2, 0.5}), 0.01);
}

}  // namespace
