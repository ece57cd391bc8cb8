#include "touch/position_smoothing.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "touch/position_fit.h"
#include "touch/position_triangulate.h"

namespace position {
namespace {

inline constexpr double kMaxWalk = 0.1;  // baseline units summed along one walk
static_assert(kNewestSampleT == kRingDelay, "forward samples reach the newest entry");
inline constexpr double kFitTolerance = 0.001;    // baseline units
inline constexpr double kSizeJumpRatio = 0.7;     // below this a neighbour's size is suspect
inline constexpr double kPredictionFrames = 3.0;  // how far ahead the reference is placed
inline constexpr double kDefaultWindow = 0.5;
inline constexpr double kMinWindow = 0.1;
inline constexpr double kWindowShare = 0.4;
// Samples a fit of each degree needs, so that higher degrees only follow long smooth paths.
inline constexpr int kMinSamplesForDegree[kFitTerms] = {1, 2, 3, 5, 7, 10, 14, 19, 25};

int Wrap(int index) {
    return ((index % kRingEntries) + kRingEntries) % kRingEntries;
}

// A sudden change of size between neighbours is a shadow that grew by a second finger or lost
// a part: the smaller-sized of the two takes the other's values.
int RepairWalk(PointRing& ring, int delayed, int newest, double window) {
    int counted = 0;
    double walked = 0.0;
    int previous = delayed;
    for (int k = 0; k <= kRingDelay; ++k) {
        const int current = Wrap(delayed + k);
        SolvedPoint& prev = ring.entries[previous];
        SolvedPoint& cur = ring.entries[current];
        if (cur.valid == 0) {
            break;
        }
        const double step = Distance(prev, cur);
        if (!(step <= window)) {
            break;
        }
        ++counted;
        const SolvedPoint before = prev;
        const double ps = before.size;
        const double cs = cur.size;
        if (step + ps < 2.0 * cs && ps < kSizeJumpRatio * cs) {
            prev = cur;
        }
        if (cs + step < 2.0 * ps && cs < kSizeJumpRatio * ps) {
            cur.x = before.x;
            cur.y = before.y;
            cur.size = before.size;
        }
        walked += step;
        if (current == newest || walked > kMaxWalk) {
            break;
        }
        previous = current;
    }
    return counted;
}

// Samples relative to the delayed entry, so that a still touch sums to exact zeros and comes
// out exactly where it was.
struct SampleSet {
    SolvedPoint origin{};
    FitSample samples[kMaxFitSamples];  // the first count are set
    int count = 0;
    int forward = 0;
};

void AddToSet(SampleSet& set, int t, const SolvedPoint& p) {
    if (set.count < kMaxFitSamples) {
        set.samples[set.count++] =
            FitSample{t, p.x - set.origin.x, p.y - set.origin.y, p.size - set.origin.size};
    }
}

void CollectForward(const PointRing& ring, int delayed, int newest, double window, SampleSet& set) {
    const SolvedPoint& before = ring.entries[Wrap(delayed - 1)];
    SolvedPoint last = before.valid != 0 ? before : ring.entries[delayed];
    double walked = 0.0;
    for (int t = 0; t <= kRingDelay; ++t) {
        const int index = Wrap(delayed + t);
        const SolvedPoint& entry = ring.entries[index];
        if (entry.valid == 0) {
            break;
        }
        const double step = Distance(last, entry);
        if (!(step <= window)) {
            break;
        }
        AddToSet(set, t, entry);
        ++set.forward;
        last = entry;
        walked += step;
        if (index == newest || walked > kMaxWalk) {
            break;
        }
    }
}

// The distance from entries[index + 1] to entries[index].
double NewerStep(const PointRing& ring, int index) {
    const double kept = ring.newerStep[index];
    return std::isnan(kept) ? Distance(ring.entries[Wrap(index + 1)], ring.entries[index]) : kept;
}

// Keeps the step from a just smoothed entry to the one before it.
void KeepNewerStep(PointRing& ring, int smoothed) {
    const int before = Wrap(smoothed - 1);
    const bool both = ring.entries[smoothed].valid != 0 && ring.entries[before].valid != 0;
    ring.newerStep[before] = both ? Distance(ring.entries[smoothed], ring.entries[before])
                                  : std::numeric_limits<double>::quiet_NaN();
}

// No step limit backwards: those entries were already accepted when they were smoothed.
void CollectBackward(const PointRing& ring, int delayed, int newest, SampleSet& set) {
    double walked = 0.0;
    for (int t = -1; t >= kOldestSampleT; --t) {
        const int index = Wrap(delayed + t);
        const SolvedPoint& entry = ring.entries[index];
        if (index == newest || entry.valid == 0) {
            break;
        }
        walked += t < -1 ? NewerStep(ring, index) : 0.0;
        AddToSet(set, t, entry);
        if (walked > kMaxWalk) {
            break;
        }
    }
}

bool IsFinite(const SolvedPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.size);
}

SolvedPoint PointAt(const SolvedPoint& origin, double dx, double dy, double dsize) {
    SolvedPoint p{};
    p.x = origin.x + dx;
    p.y = origin.y + dy;
    p.size = origin.size + dsize;
    p.valid = 1;
    return p;
}

// The reference for matching the next frame: where the touch will be three frames ahead of
// the smoothed entry, that is, one frame after the newest measurement.
void PredictReference(PointRing& ring, const FitCurve& fit, const SolvedPoint& origin,
                      bool sameBlobCounts, SolvedPoint& reference) {
    if (sameBlobCounts) {
        ring.work[0] = fit.of[1].x;
        ring.work[1] = fit.of[1].y;
        ring.work[2] = fit.of[1].size;
    }
    const SolvedPoint ahead = PointAt(origin, fit.of[0].x + kPredictionFrames * ring.work[0],
                                      fit.of[0].y + kPredictionFrames * ring.work[1],
                                      fit.of[0].size + kPredictionFrames * ring.work[2]);
    if (IsFinite(ahead)) {
        reference = ahead;
    }
}

SolvedPoint Drop(SolvedPoint& entry) {
    entry.valid = 0;
    return kNoPoint;
}

}  // namespace

void ClearRing(PointRing& ring) {
    for (double& w : ring.work) {
        w = 0.0;
    }
    for (SolvedPoint& entry : ring.entries) {
        entry.valid = 0;
    }
    ring.index = -1;
    std::fill(std::begin(ring.newerStep), std::end(ring.newerStep),
              std::numeric_limits<double>::quiet_NaN());
}

void PushRing(PointRing& ring, const SolvedPoint& point) {
    ring.index = ring.index < 0 ? 0 : Wrap(ring.index + 1);
    ring.entries[ring.index] = point;
    ring.newerStep[ring.index] = std::numeric_limits<double>::quiet_NaN();
    ring.newerStep[Wrap(ring.index - 1)] = std::numeric_limits<double>::quiet_NaN();
}

int NewestIndex(const PointRing& ring) {
    return Wrap(ring.index);
}

int DelayedIndex(const PointRing& ring) {
    return Wrap(ring.index - kRingDelay);
}

double StepWindow(const SolvedPoint& delayedA, const SolvedPoint& delayedB) {
    const bool both = delayedA.valid != 0 && delayedB.valid != 0;
    const double d = both ? kWindowShare * Distance(delayedA, delayedB) : kDefaultWindow;
    return std::max(d, kMinWindow);
}

namespace {

SolvedPoint SmoothEntry(PointRing& ring, double window, SolvedPoint& reference,
                        bool sameBlobCounts) {
    const int newest = NewestIndex(ring);
    const int delayed = DelayedIndex(ring);
    const int counted = RepairWalk(ring, delayed, newest, window);
    SolvedPoint& entry = ring.entries[delayed];

    SampleSet set;
    set.origin = entry;
    CollectForward(ring, delayed, newest, window, set);
    CollectBackward(ring, delayed, newest, set);
    if (set.count < 2 || set.forward < 1) {
        return Drop(entry);
    }

    const MatrixElimination& matrix = ContiguousElimination(set.forward, set.count - set.forward);
    FitCurve fit;
    FitState state;
    bool predicted = false;
    for (int degree = 0; degree <= kMaxFitDegree && set.count >= kMinSamplesForDegree[degree];
         ++degree) {
        // A singular or overflowing fit leaves no trustworthy position: the touch is dropped
        // for this frame rather than reported somewhere undefined.
        if (!FitNextDegree(set.samples, set.count, matrix, state, fit)) {
            return Drop(entry);
        }
        const bool closeEnough = FitsWithin(set.samples, set.count, fit, degree, kFitTolerance);
        if (!predicted && (closeEnough || degree == 1)) {
            if (counted == kRingDelay + 1) {
                PredictReference(ring, fit, set.origin, sameBlobCounts, reference);
            }
            predicted = true;
        }
        if (closeEnough) {
            break;
        }
    }
    const SolvedPoint smoothed = PointAt(set.origin, fit.of[0].x, fit.of[0].y, fit.of[0].size);
    if (!IsFinite(smoothed)) {
        return Drop(entry);
    }
    entry = smoothed;
    return smoothed;
}

}  // namespace

SolvedPoint SmoothDelayedPoint(PointRing& ring, double window, SolvedPoint& reference,
                               bool sameBlobCounts) {
    const SolvedPoint smoothed = SmoothEntry(ring, window, reference, sameBlobCounts);
    KeepNewerStep(ring, DelayedIndex(ring));
    return smoothed;
}

void SmoothTrajectories(OpticalContext& oc, const FramePoints& raw, bool sameBlobCounts) {
    PushRing(oc.RingA, raw.first);
    PushRing(oc.RingB, raw.second);
    const double window = StepWindow(oc.RingA.entries[DelayedIndex(oc.RingA)],
                                     oc.RingB.entries[DelayedIndex(oc.RingB)]);
    oc.PointA = SmoothDelayedPoint(oc.RingA, window, oc.TrackA, sameBlobCounts);
    oc.PointB = SmoothDelayedPoint(oc.RingB, window, oc.TrackB, sameBlobCounts);
}

}  // namespace position
