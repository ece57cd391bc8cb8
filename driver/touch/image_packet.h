// Image packets of the camera generation: frame assembly, then the touch pipeline from the two
// solved points to the handled, interpolated points.
#pragma once

#include <span>

#include "core/device_context.h"
#include "protocol/driver_config.h"
#include "protocol/touch_point.h"

// Refuses a packet shorter than 64 bytes; returns true when the packet completed a frame and
// the frame's points were handled. Runs under csTouch with the report's DriverConfig copy.
bool HandleImagePacket(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                       std::span<const BYTE> report);

// The two touches of one solved frame (a: first, b: second) through the tap step (when
// Smoothness is on), the histories and the spline, each resulting point to HandlePoint.
void RunTouchPipeline(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                      const ots::TouchPoint& a, const ots::TouchPoint& b);
