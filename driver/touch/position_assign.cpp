#include "touch/position_assign.h"

#include "touch/position_triangulate.h"

namespace position {
namespace {

inline constexpr double kNoCandidateYet = 1000000.0;
inline constexpr int kAmbiguousHoldFrames = 2;  // one-versus-two blobs: hold, then split
inline constexpr int kBlindHoldFrames = 3;      // one camera blind: hold while count <= this
inline constexpr double kCornerDepth = 0.08;    // baseline units from the baseline
inline constexpr double kCornerNearA = 0.1;     // x below this: next to camera A
inline constexpr double kCornerNearB = 0.9;     // x above this: next to camera B
// Share of the panel's width and height by which a touch may lie outside the panel area:
// a finger on the very edge, seen through a slightly imperfect lens.
inline constexpr double kPanelMargin = 0.05;

// The four ways of pairing two shadows of each camera into (first, second), in the order in
// which they win ties.
struct CandidatePairs {
    FramePoints pairs[4];
};

CandidatePairs PairCandidates(const AngleSpan& a0, const AngleSpan& a1, const AngleSpan& b0,
                              const AngleSpan& b1) {
    const SolvedPoint t00 = Triangulate(a0, b0);
    const SolvedPoint t11 = Triangulate(a1, b1);
    const SolvedPoint t01 = Triangulate(a0, b1);
    const SolvedPoint t10 = Triangulate(a1, b0);
    return CandidatePairs{{{t00, t11}, {t01, t10}, {t10, t01}, {t11, t00}}};
}

double SquaredDistance(const SolvedPoint& p, const SolvedPoint& q) {
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    return dx * dx + dy * dy;
}

double TrackCost(const FramePoints& pair, const OpticalContext& oc) {
    return Cost(&pair.first, oc.TrackA, oc.MaxStep) + Cost(&pair.second, oc.TrackB, oc.MaxStep);
}

bool IsOnPanel(const SolvedPoint& p, const PanelArea& area) {
    const double marginX = kPanelMargin * (area.right - area.left);
    const double marginY = kPanelMargin * (area.bottom - area.top);
    return p.x >= area.left - marginX && p.x <= area.right + marginX && p.y >= area.top - marginY &&
           p.y <= area.bottom + marginY;
}

bool IsPairOnPanel(const FramePoints& pair, const PanelArea& area) {
    return pair.first.valid != 0 && pair.second.valid != 0 && IsOnPanel(pair.first, area) &&
           IsOnPanel(pair.second, area);
}

// Two fingers side by side at the same depth have ghost intersections that lie farther apart
// than the fingers, one of them far beyond the panel: a pairing with a point off the panel
// only competes when every pairing has one.
void PickFarthestApart(const CandidatePairs& candidates, const PanelArea& area, double& best,
                       int& chosen) {
    bool anyOnPanel = false;
    for (const FramePoints& pair : candidates.pairs) {
        anyOnPanel = anyOnPanel || IsPairOnPanel(pair, area);
    }
    for (int i = 0; i < 4; ++i) {
        const FramePoints& pair = candidates.pairs[i];
        if (anyOnPanel && !IsPairOnPanel(pair, area)) {
            continue;
        }
        // A pairing with a sight-line pair that meets nowhere is no pair of fingers.
        const bool bothValid = pair.first.valid != 0 && pair.second.valid != 0;
        const double score = bothValid ? -SquaredDistance(pair.first, pair.second) : 0.0;
        if (score < best) {
            best = score;
            chosen = i;
        }
    }
}

FramePoints PickPair(const CandidatePairs& candidates, const OpticalContext& oc,
                     bool farthestApartFirst) {
    double best = kNoCandidateYet;
    int chosen = 0;
    if (farthestApartFirst) {
        PickFarthestApart(candidates, oc.Panel, best, chosen);
    }
    for (int i = 0; i < 4; ++i) {
        const double score = TrackCost(candidates.pairs[i], oc);
        if (score < best) {
            best = score;
            chosen = i;
        }
    }
    return candidates.pairs[chosen];
}

// Halves of a shadow that hides a second finger behind the first.
void SplitSpan(const AngleSpan& s, AngleSpan& lower, AngleSpan& upper) {
    lower = AngleSpan{s.low, s.center, (s.low + s.center) / 2.0, s.width / 2.0};
    upper = AngleSpan{s.center, s.high, (s.center + s.high) / 2.0, s.width / 2.0};
}

FramePoints NoTouch() {
    return FramePoints{kNoPoint, kNoPoint};
}

}  // namespace

FramePoints AssignOneTouch(const AngleSpan& spanA, const AngleSpan& spanB,
                           const OpticalContext& oc) {
    const SolvedPoint touch = Triangulate(spanA, spanB);
    // With one touch tracked, the one finger seen continues it, however fast it moved: only
    // identity A is injected, and a switch would inject a lift in the middle of the touch.
    if (oc.TrackA.valid != 0 && oc.TrackB.valid == 0) {
        return FramePoints{touch, kNoPoint};
    }
    if (oc.TrackB.valid != 0 && oc.TrackA.valid == 0) {
        return FramePoints{kNoPoint, touch};
    }
    const double asA = Cost(&touch, oc.TrackA, oc.MaxStep) + Cost(nullptr, oc.TrackB, oc.MaxStep);
    const double asB = Cost(&touch, oc.TrackB, oc.MaxStep) + Cost(nullptr, oc.TrackA, oc.MaxStep);
    if (asB < asA) {
        return FramePoints{kNoPoint, touch};
    }
    return FramePoints{touch, kNoPoint};
}

FramePoints SolveTwoTouches(const AngleSpan (&spansA)[2], const AngleSpan (&spansB)[2],
                            const OpticalContext& oc) {
    const bool noTrack = oc.TrackA.valid == 0 && oc.TrackB.valid == 0;
    return PickPair(PairCandidates(spansA[0], spansA[1], spansB[0], spansB[1]), oc, noTrack);
}

FramePoints SolveSplitBlob(const CameraView& viewA, const CameraView& viewB,
                           const OpticalContext& oc) {
    AngleSpan a[2] = {viewA.spans[0], viewA.spans[1]};
    AngleSpan b[2] = {viewB.spans[0], viewB.spans[1]};
    if (viewA.count == 1) {
        SplitSpan(viewA.spans[0], a[0], a[1]);
    } else {
        SplitSpan(viewB.spans[0], b[0], b[1]);
    }
    return PickPair(PairCandidates(a[0], a[1], b[0], b[1]), oc, false);
}

FramePoints SolveByBlobCounts(const CameraView& viewA, const CameraView& viewB,
                              OpticalContext& oc) {
    const int nA = viewA.count;
    const int nB = viewB.count;
    if (nA > kMaxBlobsPerLine || nB > kMaxBlobsPerLine) {
        return NoTouch();
    }
    if (nA == nB) {
        oc.AmbiguityCount = 0;
        if (nA == 0) {
            return NoTouch();
        }
        if (nA == 1) {
            return AssignOneTouch(viewA.spans[0], viewB.spans[0], oc);
        }
        return SolveTwoTouches(viewA.spans, viewB.spans, oc);
    }
    if (nA == 0 || nB == 0) {
        // One camera blind: hold the last solution a few frames before letting go.
        if (oc.AmbiguityCount > kBlindHoldFrames) {
            return NoTouch();
        }
        ++oc.AmbiguityCount;
        return FramePoints{oc.LastRawA, oc.LastRawB};
    }
    // One camera sees two fingers, the other one shadow: wait for the view to clear up.
    if (oc.AmbiguityCount < kAmbiguousHoldFrames) {
        ++oc.AmbiguityCount;
        return FramePoints{oc.TrackA, oc.TrackB};
    }
    return SolveSplitBlob(viewA, viewB, oc);
}

bool IsCornerPair(const FramePoints& points) {
    const SolvedPoint& p = points.first;
    const SolvedPoint& q = points.second;
    if (p.valid == 0 || q.valid == 0 || p.y >= kCornerDepth || q.y >= kCornerDepth) {
        return false;
    }
    const bool nearA = p.x < kCornerNearA && q.x < kCornerNearA;
    const bool nearB = p.x > kCornerNearB && q.x > kCornerNearB;
    return nearA || nearB;
}

}  // namespace position
