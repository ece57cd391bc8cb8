#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "optics_blocks.h"
#include "optics_scene.h"

namespace {

using namespace optics_test;

// Controller blocks are not to be trusted: any lens values, any pixel range.
class BlockDice {
  public:
    explicit BlockDice(unsigned seed) : rng_(seed) {}

    float Value(float typical) {
        switch (Pick(12)) {
            case 0:
                return std::numeric_limits<float>::quiet_NaN();
            case 1:
                return std::numeric_limits<float>::infinity();
            case 2:
                return Uniform(-3e38f, 3e38f);
            case 3:
                return 0.0f;
            default:
                return Uniform(-typical, typical);
        }
    }

    Camera RandomCamera() {
        Camera c;
        c.firstPixel = static_cast<INT32>(Pick(900)) - 100;
        c.lastPixel = static_cast<INT32>(Pick(900)) - 100;
        for (float& p : c.p) {
            p = Value(2.0f);
        }
        c.p[1] = Pick(4) == 0 ? Value(2.0f) : Uniform(0.8f, 1.5f) * (Pick(2) ? 1.0f : -1.0f);
        c.j = Value(3.0f);
        c.k = Value(5.0f);
        return c;
    }

    Line RandomLine() {
        Line line{};
        const unsigned runs = Pick(5);
        for (unsigned r = 0; r < runs; ++r) {
            const double start = Pick(640);
            Shade(line, start, start + 1 + Pick(60));
        }
        return line;
    }

    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

  private:
    float Uniform(float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng_);
    }
    std::mt19937 rng_;
};

void ExpectAllFinite(const OpticalContext& oc) {
    for (const SolvedPoint* p :
         {&oc.LastRawA, &oc.LastRawB, &oc.PointA, &oc.PointB, &oc.TrackA, &oc.TrackB}) {
        ASSERT_TRUE(IsFinite(*p));
    }
    for (const PointRing* ring : {&oc.RingA, &oc.RingB}) {
        for (const SolvedPoint& e : ring->entries) {
            ASSERT_TRUE(e.valid == 0 || IsFinite(e));
        }
        for (double w : ring->work) {
            ASSERT_TRUE(std::isfinite(w));
        }
    }
}

TEST(SolveFrame, AnyLinesThroughAnyLensesGiveOnlyFinitePoints) {
    BlockDice dice(20240607u);
    for (int run = 0; run < 150; ++run) {
        SCOPED_TRACE(run);
        const Block cam1 = CameraBlock(dice.RandomCamera());
        const Block cam0 = CameraBlock(dice.RandomCamera());
        auto oc = std::make_unique<OpticalContext>();
        SetupGeometry(nullptr, cam1.data(), cam0.data(), oc.get());
        Frame frame;
        for (int i = 0; i < 40; ++i) {
            // Mostly steady shadows, so that tracks, rings and fits have something to follow.
            if (i % 8 == 0 || dice.Pick(4) == 0) {
                frame.a = dice.RandomLine();
                frame.b = dice.RandomLine();
            }
            Solve(*oc, frame);
            ExpectAllFinite(*oc);
        }
    }
}

}  // namespace
