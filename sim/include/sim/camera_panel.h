// A camera touch panel as built: the screen it covers, its physical size, how fast its
// cameras run, the blocks its firmware reports and how its frame sits on the screen.
#pragma once

#include <string>

#include "sim/camera_blocks.h"
#include "sim/camera_geometry.h"
#include "sim/panel_model.h"

namespace ots::sim {

struct CameraPanel {
    std::string name;
    int screenWidthPx = 0;
    int screenHeightPx = 0;
    double widthMm = 0.0;  // the visible area
    double heightMm = 0.0;
    int framesPerSecond = 0;  // how fast the cameras really run, whatever the block says
    PanelParams panel{};
    CameraParams camera0{};  // CameraParams0: camera B's lens; byte 0 gives the packet order
    CameraParams camera1{};  // CameraParams1: camera A's lens
    FirmwareVersion version{};
    // How the touch frame sits on the screen, on top of covering it edge to edge; its raw
    // units are 1/32768 of the panel's width and height. A mounted frame is never perfectly
    // aligned; calibration is what takes this out.
    Mounting mounting{};

    PanelGeometry Geometry() const { return EffectiveGeometry(panel); }
    double PanelUnitsPerMm() const;
    // Nonzero bits 0-1 of CameraParams0's byte 0: packet 0 carries camera A's line.
    bool CameraAFirst() const { return (camera0.flags & 0x03) != 0; }
};

// An 800 × 600 screen of 211 × 158 mm at 100 frames per second. PanelParams count in screen
// pixels; the cameras sit 20 pixels beyond the left and right edges and 15 above the top
// (camLOffsetX -20, camROffsetX 20, camOffsetY -15, so the baseline is 840 pixels long).
// Lenses with mild distortion (p1 0.90 and 0.93, small p2, p3), packet 0 carries camera A.
CameraPanel RealisticCameraPanel();

// The realistic panel with its frame mounted visibly off: shifted 3 mm right and 2 mm up,
// turned 0.6 degrees, and bowed like a lens error (radial k 0.015). Calibration takes it out.
CameraPanel MountedCameraPanel();

// The same screen with blocks the driver cannot use (fps 0, p1 0.5), so that its default
// models apply: lenses angle = pi/4 ± 1.15·u over the whole line, and the fall-back output
// scale, which stands for cameras at the two ends of the top edge, a baseline as long as the
// screen is wide and a screen 3/4 as high as it is wide (800 × 600 fits). Packet 0 carries
// camera B here.
CameraPanel DefaultsCameraPanel();

}  // namespace ots::sim
