// Word-at-a-time scans over line images of one byte per pixel: a frame's lines are searched
// for shadows twice per camera, and most of a line is long runs of equal pixels.
#pragma once

#include <cstddef>

#include "ce/types.h"

namespace position {

// The first pixel in [from, end) that is 0 (FindDark) or nonzero (FindLit); end if none.
INT32 FindDark(const BYTE* line, INT32 from, INT32 end);
INT32 FindLit(const BYTE* line, INT32 from, INT32 end);

// Copies count pixels, each as 0 or 1 (nonzero becomes 1).
void CopyAsPixels(const BYTE* image, std::size_t count, BYTE* line);

}  // namespace position
