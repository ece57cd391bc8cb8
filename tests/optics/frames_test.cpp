// The frame path piece by piece: shadows found in a line, the trajectory smoothing, and the
// whole frame solved from two rendered lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "optics_rig.h"
#include "support/camera_bus.h"
#include "touch/pixel_scan.h"
#include "touch/position_blobs.h"
#include "touch/position_smoothing.h"

namespace {

using namespace optics_test;
using position::Blob;
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
    // Any nonzero byte is lit, whichever of its bits are set, and runs cross the scan's words.
    Line mixed{};
    for (int p = 0; p < 640; ++p) {
        const BYTE lit[] = {0x01, 0x80, 0xFF, 0x7F, 0x02, 0x40};
        mixed[p] = (p / 13) % 3 == 0 ? 0 : lit[p % 6];
    }
    BYTE copied[640];
    position::CopyAsPixels(mixed.data(), 637, copied);  // the tail after whole words too
    for (int p = 0; p < 637; ++p) {
        ASSERT_EQ(copied[p], mixed[p] != 0 ? 1 : 0) << "pixel " << p;
    }
    for (INT32 from = 0; from < 40; ++from) {
        INT32 dark = from;
        INT32 lit = from;
        while (dark < 640 && mixed[dark] != 0) {
            ++dark;
        }
        while (lit < 640 && mixed[lit] == 0) {
            ++lit;
        }
        EXPECT_EQ(position::FindDark(mixed.data(), from, 640), dark) << "from " << from;
        EXPECT_EQ(position::FindLit(mixed.data(), from, 640), lit) << "from " << from;
    }
    Line line = Runs({{10, 20}, {100, 110}});
    Blob one[1];
    EXPECT_EQ(position::FindBlobs(line, 0, 640, 2, one), 1);  // bounded by the caller's array
    EXPECT_EQ(Span(one[0].start, one[0].end), Span(10, 110));
}

using position::SmoothDelayedPoint;

std::unique_ptr<PointRing> RingOf(std::initializer_list<SolvedPoint> points) {
    auto ring = std::make_unique<PointRing>();
    position::ClearRing(*ring);
    for (const SolvedPoint& p : points) {
        position::PushRing(*ring, p);
    }
    return ring;
}

// The smoothing window follows the distance of the two touches, never below 0.1, else 0.5.
TEST(StepWindow, FollowsTheTouchesDistanceWithAFloor) {
    EXPECT_DOUBLE_EQ(position::StepWindow(At(0, 0), At(0.6, 0.8)), 0.4);
    EXPECT_DOUBLE_EQ(position::StepWindow(At(0, 0), At(0.1, 0)), 0.1);
    EXPECT_DOUBLE_EQ(position::StepWindow(At(0, 0), SolvedPoint{}), 0.5);
}

// A fit that overflows leaves no trustworthy position: the point and its entry go, and the
// reference stays finite. (Too few samples, or none ahead: the frame trace.)
TEST(SmoothDelayedPoint, APointWhoseFitOverflowsIsDropped) {
    const double far = 1.7e308;  // the offset of -far from the delayed entry overflows
    auto ring = RingOf({At(far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5)});
    SolvedPoint reference = At(0.1, 0.1);
    const SolvedPoint p = SmoothDelayedPoint(*ring, 0.5, reference, true);
    EXPECT_EQ(p.valid, 0);
    EXPECT_TRUE(IsFinite(p));
    EXPECT_EQ(ring->entries[position::DelayedIndex(*ring)].valid, 0);
    EXPECT_TRUE(std::isfinite(reference.x));
}

// The ring keeps the steps between smoothed entries for the backward walk; entries pushed over
// them later must be walked with their own steps. A ring whose slots held another, smoothed
// path before smooths the same as a fresh ring of the same entries.
TEST(SmoothDelayedPoint, StepsKeptForEarlierEntriesDoNotOutliveThem) {
    auto fresh = std::make_unique<PointRing>();
    auto reused = std::make_unique<PointRing>();
    position::ClearRing(*fresh);
    position::ClearRing(*reused);
    SolvedPoint reference = At(0.5, 0.5);
    for (int i = 0; i < 2 * kRingEntries; ++i) {  // long strides: the walk stops after two
        position::PushRing(*reused, At(0.05 * i, 0.5));
        SmoothDelayedPoint(*reused, 0.5, reference, true);
    }
    for (int i = 0; i < 40; ++i) {  // a slow, bending path, pushed without smoothing
        const SolvedPoint p = At(0.3 + 0.001 * i, 0.4 + 0.00002 * i * i);
        position::PushRing(*fresh, p);
        position::PushRing(*reused, p);
    }
    SolvedPoint freshReference = reference;
    SolvedPoint reusedReference = reference;
    const SolvedPoint a = SmoothDelayedPoint(*fresh, 0.5, freshReference, true);
    const SolvedPoint b = SmoothDelayedPoint(*reused, 0.5, reusedReference, true);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(freshReference.x, reusedReference.x);
}

// The frame path over a script of finger layouts, each rendered into both cameras' lines and
// solved, frame by frame: the raw points of identities A and B, the smoothed points two
// frames behind, the tracks the next frame is matched against (x, y, size, mismatch each),
// and the hold count.
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_optics --gtest_filter='SolveFrame.*'
TEST(SolveFrame, ScriptedLayoutsGiveTheTrace) {
    struct Step {
        const char* name;
        int frames;
        std::vector<Finger> fingers;
        double dx = 0.0, dy = 0.0;  // how far the first finger moves each frame
    };
    const Finger tracked{0.4, 0.5};
    const Step script[] = {
        // The second finger moves the other way along the first one's x.
        {"two moving", 6, {{0.3, 0.4}, {0.7, 0.5}}, 0.01, 0.005},
        {"lift", 1, {}},
        // One finger seen: the nearer track's, or the only track's however far it moved.
        {"lands alone: A", 3, {tracked}},
        {"second lands: B", 3, {tracked, {0.7, 0.6}}},
        {"second lifts", 3, {tracked}},
        {"jumps: A", 1, {{0.625, 0.5}}},  // nine tenths of the fall-back maximum step
        {"lift", 1, {}},
        {"lands alone: A", 3, {tracked}},
        {"second lands: B", 3, {tracked, {0.7, 0.6}}},
        {"first lifts", 3, {{0.7, 0.6}}},
        {"jumps: B", 1, {{0.925, 0.6}}},
        {"lift", 1, {}},
        // Two shadows right next to camera A are one touch.
        {"corner", 2, {{0.03, 0.02, 0.001}, {0.06, 0.05, 0.001}}},
        {"lift", 1, {}},
        {"grows", 3, {{0.5, 0.5, 0.01}}},
        {"grown", 3, {{0.5, 0.5, 0.03}}},
        {"shrunk", 3, {{0.5, 0.5, 0.01}}},
        {"lift", 1, {}},
        // (0.5, 0.5) hides behind (0.3, 0.3) from camera A: held, then its shadow split.
        {"hidden from A", 4, {{0.3, 0.3, 0.02}, {0.5, 0.5, 0.02}}},
        {"lift", 1, {}},
        {"hidden from B", 4, {{0.7, 0.3, 0.02}, {0.5, 0.5, 0.02}}},
        {"lift", 1, {}},
        // A camera that sees nothing: the last solution (not the track, which leads it) is held
        // while the count is at most 3.
        {"tracked", 4, {{0.1, 0.3}}, 0.01},
        {"beyond A's field", 5, {{-0.2, 0.3}}},
        {"lift", 1, {}},
        {"tracked", 4, {{0.9, 0.3}}, -0.01},
        {"beyond B's field", 5, {{1.2, 0.3}}},
        {"lift", 1, {}},
        // Two fingers landing together: the pairing farthest apart wins among those on the
        // panel (y up to 0.75, and 5 % of that beyond), here the fingers.
        {"side by side", 1, {{0.1, 0.5}, {0.9, 0.5}}},
        {"lift", 1, {}},
        {"just on the panel", 1, {{0.1, 0.78}, {0.9, 0.78}}},
        {"lift", 1, {}},
        // Every pairing has a point off the panel: the ghosts, farthest apart, win.
        {"off the panel", 1, {{0.1, 0.79}, {0.9, 0.79}}},
        {"lift", 1, {}},
        // Here the ghosts (0.854, 0.512) and (0.407, 0.356) lie closer together.
        {"farthest apart", 1, {{0.5, 0.3}, {0.8, 0.7}}},
        {"lift", 1, {}},
    };
    const auto oc = ContextWith();
    std::string text;
    char line[96];
    for (const Step& step : script) {
        for (int frame = 0; frame < step.frames; ++frame) {
            std::vector<Finger> fingers = step.fingers;
            if (!fingers.empty()) {
                fingers[0].x += frame * step.dx;
                fingers[0].y += frame * step.dy;
                for (std::size_t i = 1; i < fingers.size(); ++i) {
                    fingers[i].x -= frame * step.dx;
                }
            }
            const Frame rendered = Render(fingers);
            SolveFrame(rendered.a.data(), kPixels, rendered.b.data(), kPixels, oc.get());
            text += std::string(step.name) + " " + std::to_string(frame) + ":";
            for (const SolvedPoint* p : {&oc->LastRawA, &oc->LastRawB, &oc->PointA, &oc->PointB,
                                         &oc->TrackA, &oc->TrackB}) {
                std::snprintf(line, sizeof line, " %.5f %.5f %.5f %.4f", p->x, p->y, p->size,
                              p->mismatch);
                text += p->valid != 0 ? line : " -";
            }
            text += " hold " + std::to_string(oc->AmbiguityCount) + "\n";
        }
    }
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "layouts.txt");
}

// Pixels beyond the delivered length count as dark, even where the buffer holds more; of a
// longer image only the line's 640 pixels are looked at; a missing image or context is left.
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
        DWORD lengthA;
        const BYTE* b;
        DWORD lengthB;
        int valid, ambiguity;
    } rows[] = {
        // A saw nothing, B one shadow: held, nothing to hold.
        {shortA.data(), cut, full.b.data(), 640, 0, 1},
        {full.a.data(), cut, full.b.data(), 640, 0, 1},
        {full.a.data(), 0, full.b.data(), 0, 0, 0},
        {longA.data(), 1000, full.b.data(), 640, 1, 0},
        // A missing image changes nothing.
        {nullptr, 640, full.b.data(), 640, 0, 0},
        {full.a.data(), 640, nullptr, 640, 0, 0},
    };
    SolveFrame(full.a.data(), 640, full.b.data(), 640, nullptr);
    for (const auto& row : rows) {
        const auto oc = ContextWith();
        SolveFrame(row.a, row.lengthA, row.b, row.lengthB, oc.get());
        EXPECT_EQ(oc->LastRawA.valid, row.valid) << &row - rows;
        EXPECT_EQ(oc->AmbiguityCount, row.ambiguity) << &row - rows;
        EXPECT_TRUE(row.valid == 0 ||
                    std::hypot(oc->LastRawA.x - 0.2, oc->LastRawA.y - 0.5) < 0.01);
    }
}

}  // namespace
