// The demo's pictures, drawn with the stand-in's host pictures (no external program): the
// finger's path against the pointer's, and per screen a map of the pointer's errors.
#pragma once

#include <string>
#include <vector>

#include "cectl/control_request.h"

namespace calibdemo {

using ots::control::Point;

struct ScreenSize {
    int widthPx = 0;
    int heightPx = 0;
    double mmPerPx = 0.0;
};

// One touch: where the finger was and where the pointer landed (the centre of its pixel).
struct TouchError {
    Point finger;
    Point pointer;
};

// The finger's path (wide, blue) and the pointer's (thin, red) on a screen-sized picture,
// with a legend, a millimetre scale bar and the title; false when it could not be written.
bool PlotPaths(const std::string& title, const std::vector<Point>& finger,
               const std::vector<Point>& pointer, const ScreenSize& screen,
               const std::string& pngPath);

// Each touch as an arrow from the finger to the pointer, its length magnified by the stated
// factor, the calibration targets as rings; false when it could not be written.
bool PlotErrorMap(const std::string& title, const std::vector<TouchError>& touches,
                  const std::vector<Point>& targets, double magnification, const ScreenSize& screen,
                  const std::string& pngPath);

// A round factor (1, 2, 5, 10, 20, ...) that makes the largest error about 60 px long.
double ArrowMagnification(const std::vector<TouchError>& touches);

}  // namespace calibdemo
