// Turning the blobs of both cameras into the frame's two points: which sight lines belong
// together, and which point continues which touch identity.
#pragma once

#include "touch/optical_context.h"
#include "touch/position_lens.h"

namespace position {

// What one camera saw in a frame.
struct CameraView {
    AngleSpan spans[kMaxBlobsPerLine];
    int count;
};

// The frame's points, in the order of the touch identities A and B.
struct FramePoints {
    SolvedPoint first;
    SolvedPoint second;
};

// One finger seen by both cameras: it becomes A or B, whichever identity it continues better.
FramePoints AssignOneTouch(const AngleSpan& spanA, const AngleSpan& spanB,
                           const OpticalContext& oc);

// Two fingers seen by both cameras: the pairing of sight lines and the identity order that
// match the tracks best; when no touch is tracked, the pairing whose points lie farthest apart,
// among those that lie on the panel.
FramePoints SolveTwoTouches(const AngleSpan (&spansA)[2], const AngleSpan (&spansB)[2],
                            const OpticalContext& oc);

// Two fingers of which one camera sees only one shadow: that shadow is split in two halves.
FramePoints SolveSplitBlob(const CameraView& viewA, const CameraView& viewB,
                           const OpticalContext& oc);

// Solves a frame by the number of blobs each camera saw, holding a previous result for a few
// frames where the view is ambiguous; counts those frames in AmbiguityCount.
FramePoints SolveByBlobCounts(const CameraView& viewA, const CameraView& viewB, OpticalContext& oc);

// Both points valid and both pressed into the same corner next to a camera.
bool IsCornerPair(const FramePoints& points);

}  // namespace position
