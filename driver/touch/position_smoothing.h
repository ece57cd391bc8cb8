// Trajectory history and smoothing of the two touch identities. The output trails the
// measurement by two frames, which gives the local fit two frames of look-ahead.
#pragma once

#include "touch/optical_context.h"
#include "touch/position_assign.h"

namespace position {

inline constexpr int kRingDelay = 2;  // frames between a measurement and its output

void ClearRing(PointRing& ring);
void PushRing(PointRing& ring, const SolvedPoint& point);
int NewestIndex(const PointRing& ring);
int DelayedIndex(const PointRing& ring);

// Largest plausible step between consecutive frames of one touch: 0.4 of the distance between
// the two delayed points, 0.5 with fewer than two, never below 0.1.
double StepWindow(const SolvedPoint& delayedA, const SolvedPoint& delayedB);

// Smooths the delayed entry of the ring and writes the result back into it. When the three
// newest entries form one movement, the reference becomes the fit's prediction three frames
// ahead; the slope of that prediction is renewed only when sameBlobCounts.
SolvedPoint SmoothDelayedPoint(PointRing& ring, double window, SolvedPoint& reference,
                               bool sameBlobCounts);

// Pushes the frame's points and leaves the smoothed points of two frames ago in PointA/PointB.
void SmoothTrajectories(OpticalContext& oc, const FramePoints& raw, bool sameBlobCounts);

}  // namespace position
