// Where the cameras sit relative to the panel, in the panel's own units.
//
// The cameras are at the two ends of a baseline along the top edge: camera A at panel
// (camLOffsetX, camOffsetY), camera B a baseline length L = camROffsetX - camLOffsetX + width
// further right. A point at baseline (x, y) (camera A at (0, 0), camera B at (1, 0), y into
// the panel) is at panel (L·x + camLOffsetX, L·y + camOffsetY).
#pragma once

#include "sim/camera_blocks.h"

namespace ots::sim {

struct PanelPoint {
    double x;
    double y;
};

struct BaselinePoint {
    double x;
    double y;
};

struct PanelGeometry {
    double width = 0;  // panel units
    double height = 0;
    double camLOffsetX = 0;
    double camROffsetX = 0;
    double camOffsetY = 0;

    double Baseline() const { return camROffsetX - camLOffsetX + width; }
    BaselinePoint ToBaseline(PanelPoint p) const;
    PanelPoint ToPanel(BaselinePoint b) const;
};

// The geometry that the driver's output scale stands for: the panel block's own when the
// driver takes it (IsUsablePanelParams), else that of the driver's fall-back scale
// (32768 · x, 43690.668 · y): cameras at the two ends of the top edge, the baseline the
// panel's width and the panel 3/4 as high as it is wide, here in 1/32768 of the panel width.
PanelGeometry EffectiveGeometry(const PanelParams& params);

}  // namespace ots::sim
