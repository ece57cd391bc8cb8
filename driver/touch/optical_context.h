// OpticalContext: the state of the position computation of the camera generation, kept inside
// TOUCH_DATA. Geometry is normalised to the camera baseline: camera A at (0, 0), camera B at
// (1, 0), y growing into the panel.
#pragma once

#include "ce/types.h"
#include "protocol/calib_para.h"

inline constexpr int kRingEntries = 50;

struct SolvedPoint {
    double x;         // baseline units
    double y;         // baseline units
    double size;      // baseline units
    double mismatch;  // disagreement of the two cameras' size estimates
    BYTE valid;
};

struct CameraModel {
    INT32 firstPixel;  // searched part of the line: first included
    INT32 lastPixel;   // last excluded
    float c[8];        // lens polynomial c0..c7
};

struct PointRing {
    double work[3];  // slopes of x, y and size kept for the three-frames-ahead reference
    SolvedPoint entries[kRingEntries];
    INT32 index;  // newest entry; -1 when cleared
    // newerStep[i]: the distance from entries[i + 1] to entries[i], kept once both are
    // smoothed (they change no more until overwritten), NaN while not known. The backward walk
    // sums these every frame.
    double newerStep[kRingEntries];
};

// The panel's visible area in baseline units: where a real touch can be.
struct PanelArea {
    double left, top, right, bottom;
};

struct OpticalContext {
    SolvedPoint LastRawA, LastRawB;
    SolvedPoint PointA, PointB;
    SolvedPoint TrackA, TrackB;
    ots::CalibPara CalibX, CalibY;                   // active calibration polynomials
    float ScaleX, OffsetX, ScaleY, OffsetY, ScaleZ;  // output scale of GetFramePoints
    float MaxStep;  // largest plausible movement per frame, baseline units
    CameraModel CameraModelB, CameraModelA;
    INT32 AmbiguityCount;
    PointRing RingA, RingB;
    PanelArea Panel;  // tells two fingers from the ghost intersections of their sight lines
};
