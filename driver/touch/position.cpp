// Solving one camera frame: shadows, sight lines, touch identities, smoothed trajectories.
#include "touch/position.h"

#include <algorithm>

#include "touch/pixel_scan.h"
#include "touch/position_assign.h"
#include "touch/position_smoothing.h"

namespace {

using namespace position;

// The decoded line as 0/1 pixels; pixels beyond a short image are dark.
void CopyToWorkingLine(const BYTE* image, DWORD length, BYTE (&line)[kLinePixels]) {
    const std::size_t delivered = std::min<std::size_t>(length, kLinePixels);
    CopyAsPixels(image, delivered, line);
    std::fill(line + delivered, line + kLinePixels, BYTE{0});
}

CameraView See(BYTE (&line)[kLinePixels], const CameraModel& model, int maxBlobs) {
    Blob blobs[kMaxBlobsPerLine];
    CameraView view{};
    view.count = FindBlobs(line, model.firstPixel, model.lastPixel, maxBlobs, blobs);
    for (int i = 0; i < view.count; ++i) {
        view.spans[i] = SpanOfBlob(model, blobs[i]);
    }
    return view;
}

}  // namespace

void SolveFrame(const BYTE* imageA, DWORD lengthA, const BYTE* imageB, DWORD lengthB,
                OpticalContext* oc) {
    if (imageA == nullptr || imageB == nullptr || oc == nullptr) {
        return;
    }
    BYTE lineA[kLinePixels];
    BYTE lineB[kLinePixels];
    CopyToWorkingLine(imageA, lengthA, lineA);
    CopyToWorkingLine(imageB, lengthB, lineB);

    CameraView viewA = See(lineA, oc->CameraModelA, kMaxBlobsPerLine);
    CameraView viewB = See(lineB, oc->CameraModelB, kMaxBlobsPerLine);
    FramePoints result = SolveByBlobCounts(viewA, viewB, *oc);
    if (IsCornerPair(result)) {
        // Right next to a camera one finger is wide enough to show as two shadows.
        viewA = See(lineA, oc->CameraModelA, 1);
        viewB = See(lineB, oc->CameraModelB, 1);
        if (viewA.count == 1 && viewB.count == 1) {
            result = AssignOneTouch(viewA.spans[0], viewB.spans[0], *oc);
        }
    }

    oc->LastRawA = oc->PointA = oc->TrackA = result.first;
    oc->LastRawB = oc->PointB = oc->TrackB = result.second;
    SmoothTrajectories(*oc, result, viewA.count == viewB.count);
}
