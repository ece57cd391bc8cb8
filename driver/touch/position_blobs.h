// Finger shadows in one camera's line image.
#pragma once

#include <span>

#include "ce/types.h"
#include "protocol/vendor_command.h"

namespace position {

inline constexpr std::size_t kLinePixels = ots::kLineImagePixels;
inline constexpr int kMaxBlobsPerLine = 2;  // two fingers at most
inline constexpr INT32 kMinOpenGapPx = 3;   // narrower gaps are a finger's own dropout

// A run of 1-pixels: [start, end), center = (start + end) / 2.
struct Blob {
    INT32 start;
    INT32 end;
    double center;
};
static_assert(sizeof(Blob) == 16);

using WorkingLine = std::span<BYTE, kLinePixels>;

// Finds up to blobs.size() (and maxBlobs) shadows in [firstPixel, lastPixel) and returns how
// many it found, in pixel order. Gaps narrower than kMinOpenGapPx are closed first, then the
// narrowest others until the count fits; the closing is written into the line.
int FindBlobs(WorkingLine line, INT32 firstPixel, INT32 lastPixel, int maxBlobs,
              std::span<Blob> blobs);

}  // namespace position
