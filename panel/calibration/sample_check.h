// Whether a calibration sample is one the user meant: a touch far from where the targets'
// layout and the other samples put it (a slipped finger, a touch on the wrong spot) is refused
// before it can bend the calibration. Positions are in 1/32768 of the screen; distances are
// judged in millimetres of the screen.
#pragma once

#include "ce/types.h"

inline constexpr double kFirstSampleMm = 25.0;  // the first sample from its own target
inline constexpr double kLayoutMm = 10.0;       // a later sample from where the others put it
inline constexpr double kResidualMm = 4.0;      // 25 points: from the fit of all the others

// The samples of a run in target order, as the fit takes them; ToLogical turns a sample into
// 1/32768 of the screen (the samples of some controllers are stored unscaled).
struct SampleSet {
    const float* TargetX;
    const float* TargetY;
    const float* X;
    const float* Y;
    float ToLogical;
    double MmPerLogicalX;
    double MmPerLogicalY;
};

// Sample `index` against the ones before it: the first must lie within kFirstSampleMm of its
// target (raw positions are the screen's own before calibration, up to the mounting error);
// each later one within kLayoutMm of where the earlier samples put it: moved as its target is
// from the first target's while they lie on one row, through their affine fit once they span
// rows and columns (so 4 corners must form the targets' rectangle).
BOOL FitsTheLayout(const SampleSet& samples, INT32 index);

// The sample whose residual against the cubic fit of all the others is the largest, when it
// exceeds kResidualMm (far beyond the optics' own error); -1 when every sample fits.
INT32 OutlierAgainstTheOthers(const SampleSet& samples, INT32 count);

// Millimetres per 1/32768 of a screen extent of extentPx pixels at 96 pixels per inch.
double MmPerLogical(INT32 extentPx);
