// Reports of the coordinate generation: a status byte and a 16-bit x and y per sample.
#pragma once

#include <optional>
#include <span>

#include "ce/types.h"
#include "core/device_context.h"
#include "protocol/driver_config.h"

inline constexpr std::size_t kCoordinateReportSize = 6;

inline constexpr BYTE kStatusIgnore = 0x10;    // the controller marks the sample as unusable
inline constexpr BYTE kStatusTouching = 0x03;  // either bit set: a finger is on the panel
inline constexpr BYTE kStatusReleased = 0x04;

struct CoordinateReport {
    BYTE status;
    UINT16 x;  // raw controller units, 0..4096 when calibrated
    UINT16 y;
};

// Nothing when the report is shorter than its format.
std::optional<CoordinateReport> DecodeCoordinateReport(std::span<const BYTE> report);

// Maps, clamps and injects one report; false when the report is refused (too short, or the
// controller marked it to be ignored). Runs under csTouch with the report's DriverConfig copy.
bool HandleCoordinateReport(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                            std::span<const BYTE> report);
