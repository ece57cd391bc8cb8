// One interpolated point of the camera generation becomes mouse input.
#pragma once

#include "core/device_context.h"
#include "protocol/driver_config.h"

// Handles CurrentPoint: maps it through the active calibration (unless the panel is
// calibrating), clamps it to the screen and runs the touch mode. Runs under csTouch.
void HandlePoint(DEVICE_CONTEXT& device, const ots::DriverConfig& config);
