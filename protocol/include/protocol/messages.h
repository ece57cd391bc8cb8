// Private window messages posted to the control panel's main dialog.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kWmUser = 0x0400;  // WM_USER
inline constexpr std::uint32_t WM_CONNECTION_LOST = kWmUser + 111;
inline constexpr std::uint32_t WM_CALIBRATION_END = kWmUser + 116;
