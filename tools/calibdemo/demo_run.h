// One generation's run of the demo: the finger, the control panel and what they measure.
#pragma once

#include <string>
#include <vector>

#include "demo_options.h"
#include "error_stats.h"
#include "finger.h"
#include "plots.h"
#include "x_display.h"

namespace calibdemo {

struct GenerationPlan {
    std::string name;  // "camera" or "coordinate"
    ots::control::ControllerKind kind;
    std::string panel;  // the simulated panel's name in the host
    int points;         // calibration targets
    double mmPerPx;     // the panel's millimetres per screen pixel
};

struct GenerationResult {
    std::string name;
    int points = 0;
    ErrorStats beforeMm;
    ErrorStats afterMm;
    double mmPerPx = 0.0;
    double residualMm = 0.0;     // RMS at the targets after calibration
    ErrorStats lagMs;            // measured while drawing, platform ms
    double designedLagMs = 0.0;  // what the driver's pipeline gives at the panel's frame rate
    double framePeriodMs = 0.0;
    std::vector<TouchError> beforeTouches;
    std::vector<TouchError> afterTouches;
};

// Runs one generation; false with *error set when a step failed.
bool RunGeneration(const GenerationPlan& plan, const DemoOptions& options, XScreen& screen,
                   GenerationResult* result, std::string* error);

}  // namespace calibdemo
