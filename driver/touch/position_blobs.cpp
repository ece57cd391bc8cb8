#include "touch/position_blobs.h"

#include <algorithm>

#include "touch/pixel_scan.h"

namespace position {
namespace {

struct Gap {
    INT32 start;
    INT32 length;
};

// A gap needs a 1-pixel on both sides, so a line holds fewer than half its length of them.
inline constexpr std::size_t kMaxGaps = kLinePixels / 2;

// Interior runs of 0-pixels; runs touching either end of the range are background.
int CollectGaps(WorkingLine line, INT32 first, INT32 last, Gap (&gaps)[kMaxGaps]) {
    int count = 0;
    INT32 p = FindDark(line.data(), first, last);
    while (p < last) {
        const INT32 start = p;
        p = FindLit(line.data(), p, last);
        if (start != first && p != last) {
            gaps[count++] = Gap{start, p - start};
        }
        p = FindDark(line.data(), p, last);
    }
    return count;
}

// Stable exchange sort, shortest first: of equal gaps the one further left closes first.
void SortByLength(Gap* gaps, int count) {
    for (int pass = count - 1; pass > 0; --pass) {
        for (int i = 0; i < pass; ++i) {
            if (gaps[i].length > gaps[i + 1].length) {
                std::swap(gaps[i], gaps[i + 1]);
            }
        }
    }
}

void CloseGap(WorkingLine line, const Gap& gap) {
    std::fill_n(line.begin() + gap.start, gap.length, BYTE{1});
}

int CollectBlobs(WorkingLine line, INT32 first, INT32 last, std::span<Blob> blobs) {
    int count = 0;
    INT32 p = FindLit(line.data(), first, last);
    while (p < last && count < static_cast<int>(blobs.size())) {
        const INT32 start = p;
        p = FindDark(line.data(), p, last);
        blobs[count++] = Blob{start, p, (start + p) / 2.0};
        p = FindLit(line.data(), p, last);
    }
    return count;
}

}  // namespace

int FindBlobs(WorkingLine line, INT32 firstPixel, INT32 lastPixel, int maxBlobs,
              std::span<Blob> blobs) {
    const INT32 lineEnd = static_cast<INT32>(kLinePixels);
    const INT32 first = std::clamp(firstPixel, 0, lineEnd);
    const INT32 last = std::clamp(lastPixel, 0, lineEnd);
    const int wanted = std::min(maxBlobs, static_cast<int>(blobs.size()));
    if (first >= last || wanted < 1) {
        return 0;
    }

    Gap gaps[kMaxGaps];
    const int gapCount = CollectGaps(line, first, last, gaps);
    SortByLength(gaps, gapCount);

    int closed = 0;
    while (closed < gapCount && gaps[closed].length < kMinOpenGapPx) {
        CloseGap(line, gaps[closed++]);
    }
    // n blobs are separated by n - 1 gaps: the narrowest of the rest close too.
    while (closed < gapCount - (wanted - 1)) {
        CloseGap(line, gaps[closed++]);
    }
    return CollectBlobs(line, first, last, blobs.first(static_cast<std::size_t>(wanted)));
}

}  // namespace position
