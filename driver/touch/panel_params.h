// Fields of the 58-byte PanelParams block that the camera controller reports (block 0x30,
// index 0), read and written at their byte offsets.
#pragma once

#include <span>

#include "protocol/bytes.h"
#include "touch/touch_data.h"

inline constexpr std::size_t kPanelWidthOffset = 2;
inline constexpr std::size_t kPanelHeightOffset = 6;
inline constexpr std::size_t kPanelFpsOffset = 10;
inline constexpr std::size_t kPanelMaxSpeedOffset = 14;
inline constexpr std::size_t kPanelCamOffsetYOffset = 18;
inline constexpr std::size_t kPanelCamLOffsetXOffset = 22;
inline constexpr std::size_t kPanelCamROffsetXOffset = 26;
inline constexpr std::size_t kPanelVelocityRefCountOffset = 30;
inline constexpr std::size_t kPanelVelocityWeightOffset = 34;

inline INT32 PanelWidth(const TOUCH_DATA& td) {
    return ots::LoadI32(td.PanelParams, kPanelWidthOffset);
}
inline INT32 PanelHeight(const TOUCH_DATA& td) {
    return ots::LoadI32(td.PanelParams, kPanelHeightOffset);
}
