// The tap stabiliser of the first touch: a finger that stays still is collected for a while,
// averaged and then held, so that a tap does not jitter; a moving finger passes through.
#pragma once

#include "ce/types.h"
#include "protocol/touch_point.h"
#include "touch/touch_data.h"

inline constexpr INT32 kTapResetMaxCount = kMaxPoints;
inline constexpr INT32 kTapResetThresholdSq = 160000;  // a movement of 400 controller units
inline constexpr DWORD kTapSampleMs = 16;              // DoubleClickTime per collected sample

// maxCount 60, thresholdSq 160000, every entry and held not touching, count 0, idle.
void ResetTapFilter(TapFilter* tap);

// Reset, then size the filter from the settings: maxCount = DoubleClickTime / 16 (above 60
// gives 60, below 2 gives pass-through) and thresholdSq = d * d with
// d = DoubleClickArea * 32768 / panelWidth, saturated at INT32_MAX. A panel size of 0 leaves
// the reset values.
void SetupTapFilter(TapFilter* tap, DWORD doubleClickTime, DWORD doubleClickArea, INT32 panelWidth,
                    INT32 panelHeight);

// Takes one frame's point and advances the state.
void TapFilterStep(TapFilter* tap, const ots::TouchPoint& point);

// Writes the points released by the last step to output (at most kMaxPoints) and returns how
// many.
int TapFilterOutput(TapFilter* tap, ots::TouchPoint* output);
