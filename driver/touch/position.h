// Position computation of the camera generation: geometry set-up from the controller's blocks,
// and the solving of one frame's two line images into up to two tracked, smoothed points.
#pragma once

#include "ce/types.h"
#include "touch/optical_context.h"

// Called at every (re-)initialisation of a camera controller: output scale, identity
// calibration, lens models, and a fresh tracking state.
void SetupGeometry(const BYTE* panelParams, const BYTE* cameraParams1, const BYTE* cameraParams0,
                   OpticalContext* oc);

// Solves one frame; image A is seen through CameraModelA. Leaves the result in PointA/PointB.
// Does nothing when an image or the context is missing.
void SolveFrame(const BYTE* imageA, DWORD lengthA, const BYTE* imageB, DWORD lengthB,
                OpticalContext* oc);
