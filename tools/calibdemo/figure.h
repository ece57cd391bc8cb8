// The figure the finger draws, how far the pointer trails it, and a picture of both paths.
#pragma once

#include <string>
#include <vector>

#include "cectl/control_request.h"
#include "finger.h"

namespace calibdemo {

// A five-pointed star through the middle of the screen, closed.
std::vector<ots::control::Point> StarFigure(int widthPx, int heightPx);

// For each injected move near the finger's path: how long after the finger was at that spot
// the pointer got there (platform ms). The finger runs the path at constant speed, starting
// at startMs and taking drawMs.
std::vector<double> PointerLagMs(const std::vector<ots::control::Point>& path, double drawMs,
                                 double startMs, const std::vector<InjectedEvent>& events);

// The finger's path (blue) and the pointer's (red) on a white screen-sized PNG, through
// ImageMagick's convert; false when it could not be written.
bool PlotPaths(const std::vector<ots::control::Point>& path,
               const std::vector<InjectedEvent>& events, int widthPx, int heightPx,
               const std::string& pngPath);

}  // namespace calibdemo
