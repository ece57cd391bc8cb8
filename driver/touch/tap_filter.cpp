#include "touch/tap_filter.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr INT32 kSpreadMinStart = 65535;
constexpr INT32 kSpreadMaxStart = 0;
constexpr std::int64_t kLargestUnsaturatedSide = 46340;  // 46340^2 < INT32_MAX < 46341^2

bool Touching(const ots::TouchPoint& p) {
    return p.valid != 0;
}

// A zero-filled filter (no initialisation yet, or a failed one) has maxCount 0; it still
// passes points through one at a time instead of storing in front of the entries.
INT32 Capacity(const TapFilter& tap) {
    return std::clamp(tap.maxCount, 1, kMaxPoints);
}

// Whether (max x - min x)^2 + (max y - min y)^2 over the entries in use exceeds thresholdSq.
bool SpreadExceeds(const TapFilter& tap) {
    std::int64_t minX = kSpreadMinStart, maxX = kSpreadMaxStart;
    std::int64_t minY = kSpreadMinStart, maxY = kSpreadMaxStart;
    for (INT32 i = 0; i < tap.count; ++i) {
        minX = std::min<std::int64_t>(minX, tap.entries[i].x);
        maxX = std::max<std::int64_t>(maxX, tap.entries[i].x);
        minY = std::min<std::int64_t>(minY, tap.entries[i].y);
        maxY = std::max<std::int64_t>(maxY, tap.entries[i].y);
    }
    // A side whose square passes INT32_MAX exceeds any threshold already; capping it there keeps
    // the sum of both squares in range whatever coordinates the controller sent.
    constexpr std::int64_t kCap = kLargestUnsaturatedSide + 1;
    const std::int64_t sideX = std::min<std::int64_t>(maxX - minX, kCap);
    const std::int64_t sideY = std::min<std::int64_t>(maxY - minY, kCap);
    return sideX * sideX + sideY * sideY > tap.thresholdSq;
}

// Averages x, y and z of the touching run that ends at entries[last] (walking towards
// entries[0]) and writes the average into entries[0..last]; valid bytes stay.
void AverageUpTo(TapFilter* tap, INT32 last) {
    if (last < 0) {
        return;
    }
    std::int64_t sumX = 0, sumY = 0, sumZ = 0, summed = 0;
    for (INT32 i = last; i >= 0 && Touching(tap->entries[i]); --i) {
        sumX += tap->entries[i].x;
        sumY += tap->entries[i].y;
        sumZ += tap->entries[i].z;
        ++summed;
    }
    if (summed == 0) {
        return;
    }
    for (INT32 i = 0; i <= last; ++i) {
        tap->entries[i].x = static_cast<INT32>(sumX / summed);
        tap->entries[i].y = static_cast<INT32>(sumY / summed);
        tap->entries[i].z = static_cast<INT32>(sumZ / summed);
    }
}

void Store(TapFilter* tap, const ots::TouchPoint& point) {
    const INT32 capacity = Capacity(*tap);
    if (tap->count < capacity) {
        tap->entries[tap->count++] = point;
    } else {
        tap->count = capacity;
        tap->entries[capacity - 1] = point;
    }
}

void StepCollecting(TapFilter* tap, const ots::TouchPoint& point) {
    if (!Touching(point)) {
        AverageUpTo(tap, tap->count - 2);
        tap->state = TAP_IDLE;
    } else if (tap->count == Capacity(*tap)) {
        AverageUpTo(tap, tap->count - 1);
        tap->held = tap->entries[tap->count - 1];
        tap->state = TAP_HOLDING;
    } else if (SpreadExceeds(*tap)) {
        tap->state = TAP_MOVING;
    }
}

void StepHolding(TapFilter* tap, const ots::TouchPoint& point) {
    // A lift-off ends the hold; otherwise a lifted point close to the held position would be
    // replaced by it and the touch would never end.
    if (!Touching(point)) {
        tap->state = TAP_IDLE;
    } else if (SpreadExceeds(*tap)) {
        tap->state = TAP_MOVING;
    } else {
        tap->entries[tap->count - 1] = tap->held;
    }
}

// 64-bit, so that no DoubleClickArea can overflow d or its square.
INT32 ThresholdSquare(DWORD doubleClickArea, INT32 panelWidth) {
    const std::int64_t d = static_cast<std::int64_t>(doubleClickArea) * 32768 / panelWidth;
    const std::int64_t side = d < 0 ? -d : d;
    if (side > kLargestUnsaturatedSide) {
        return std::numeric_limits<INT32>::max();
    }
    return static_cast<INT32>(side * side);
}

}  // namespace

void ResetTapFilter(TapFilter* tap) {
    tap->maxCount = kTapResetMaxCount;
    tap->thresholdSq = kTapResetThresholdSq;
    for (ots::TouchPoint& entry : tap->entries) {
        entry.valid = 0;
    }
    tap->count = 0;
    tap->held.valid = 0;
    tap->state = TAP_IDLE;
}

void SetupTapFilter(TapFilter* tap, DWORD doubleClickTime, DWORD doubleClickArea, INT32 panelWidth,
                    INT32 panelHeight) {
    ResetTapFilter(tap);
    if (panelWidth == 0 || panelHeight == 0) {
        return;
    }
    const DWORD samples = doubleClickTime / kTapSampleMs;
    if (samples > static_cast<DWORD>(kMaxPoints)) {
        tap->maxCount = kMaxPoints;
        tap->state = TAP_IDLE;
    } else if (samples < 2) {
        // One entry has no spread: a held point would never be released, and the pointer
        // would stay put under a moving finger.
        tap->maxCount = 1;
        tap->state = TAP_PASS_THROUGH;
    } else {
        tap->maxCount = static_cast<INT32>(samples);
    }
    for (INT32 i = 0; i < tap->maxCount; ++i) {
        tap->entries[i].valid = 0;
    }
    tap->count = 0;
    tap->thresholdSq = ThresholdSquare(doubleClickArea, panelWidth);
}

void TapFilterStep(TapFilter* tap, const ots::TouchPoint& point) {
    Store(tap, point);
    switch (tap->state) {
        case TAP_IDLE:
            if (Touching(point)) {
                tap->state = TAP_COLLECTING;
            }
            break;
        case TAP_MOVING:
            if (!Touching(point)) {
                tap->state = TAP_IDLE;
            }
            break;
        case TAP_COLLECTING:
            StepCollecting(tap, point);
            break;
        case TAP_HOLDING:
            StepHolding(tap, point);
            break;
        default:
            break;  // pass-through
    }
}

int TapFilterOutput(TapFilter* tap, ots::TouchPoint* output) {
    if (tap->state == TAP_COLLECTING) {
        output[0] = tap->entries[tap->count - 1];  // held back while collecting
        output[0].valid = 0;
        return 1;
    }
    const INT32 released = tap->count;
    std::copy(tap->entries, tap->entries + released, output);
    tap->count = 0;
    if (tap->state != TAP_HOLDING) {
        return released;
    }
    // Keep the held position as the start of the next spread; with a single entry there is
    // no second-to-last one, so that entry itself is kept.
    tap->entries[0] = output[released >= 2 ? released - 2 : released - 1];
    tap->count = 1;
    return released - 1;
}
