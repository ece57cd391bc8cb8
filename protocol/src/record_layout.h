// Byte offsets of every record field: the one place the codecs and the registry tables take
// them from. Each block ends with the checks that the fields tile the record without a gap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>

#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/screen_config.h"
#include "protocol/touch_point.h"

namespace ots::layout {

namespace driver_config {
inline constexpr std::uint8_t Mode = 0;
inline constexpr std::uint8_t EnableTouch = 1;
inline constexpr std::uint8_t EnableRightClick = 2;
inline constexpr std::uint8_t CalibrateType = 3;
inline constexpr std::uint8_t EnableDoubleClick = 4;
inline constexpr std::uint8_t HideCursor = 5;
inline constexpr std::uint8_t EnableBeep = 6;
inline constexpr std::uint8_t BeepType = 7;
inline constexpr std::uint8_t BeepMode = 8;
inline constexpr std::uint8_t IsCalibrating = 9;
inline constexpr std::uint8_t BeepFrequency = 10;
inline constexpr std::uint8_t BeepDuration = 14;
inline constexpr std::uint8_t Smoothness = 18;
inline constexpr std::uint8_t RightClickTime = 22;
inline constexpr std::uint8_t RightClickArea = 26;
inline constexpr std::uint8_t DoubleClickTime = 30;
inline constexpr std::uint8_t DoubleClickArea = 34;
inline constexpr std::uint8_t Reserved = 38;
inline constexpr std::size_t ReservedSize = 20;

static_assert(DoubleClickArea + 4 == Reserved);
static_assert(Reserved + ReservedSize == kDriverConfigSize);
static_assert(std::tuple_size_v<decltype(DriverConfig::reserved)> == ReservedSize);
}  // namespace driver_config

namespace screen_config {
inline constexpr std::uint8_t MaxSpeed = 0;
inline constexpr std::uint8_t VelocityRefCount = 4;
inline constexpr std::uint8_t VelocityWeight = 5;
inline constexpr std::uint8_t pos = 6;
inline constexpr std::uint8_t s1 = 7;
inline constexpr std::uint8_t width = 8;
inline constexpr std::uint8_t hight = 12;
inline constexpr std::uint8_t fps = 16;
inline constexpr std::uint8_t camOffsetY = 20;
inline constexpr std::uint8_t camLOffsetX = 24;
inline constexpr std::uint8_t camROffsetX = 28;

static_assert(camROffsetX + 4 == kScreenConfigSize);
}  // namespace screen_config

namespace device_config {
inline constexpr std::uint8_t DeviceID = 0;
inline constexpr std::uint8_t MonitorID = 1;
inline constexpr std::uint8_t MinX = 2;
inline constexpr std::uint8_t MinY = 4;
inline constexpr std::uint8_t MaxX = 6;
inline constexpr std::uint8_t MaxY = 8;
inline constexpr std::uint8_t IsCalibrated = 10;
inline constexpr std::uint8_t OffX = 11;
inline constexpr std::uint8_t OffY = 15;
inline constexpr std::uint8_t ResolutionX = 19;
inline constexpr std::uint8_t ResolutionY = 21;
inline constexpr std::uint8_t PrimaryResolutionX = 23;
inline constexpr std::uint8_t PrimaryResolutionY = 25;
inline constexpr std::uint8_t Reserved = 27;
inline constexpr std::size_t ReservedSize = 31;

static_assert(PrimaryResolutionY + 2 == Reserved);
static_assert(Reserved + ReservedSize == kDeviceConfigSize);
static_assert(std::tuple_size_v<decltype(DeviceConfig::reserved)> == ReservedSize);
}  // namespace device_config

namespace calib_para {
inline constexpr std::uint8_t A03 = 0;
inline constexpr std::uint8_t A12 = 4;
inline constexpr std::uint8_t A21 = 8;
inline constexpr std::uint8_t A30 = 12;
inline constexpr std::uint8_t A02 = 16;
inline constexpr std::uint8_t A11 = 20;
inline constexpr std::uint8_t A20 = 24;
inline constexpr std::uint8_t A01 = 28;
inline constexpr std::uint8_t A10 = 32;
inline constexpr std::uint8_t A00 = 36;
inline constexpr std::uint8_t reserve0 = 40;
inline constexpr std::uint8_t reserve1 = 44;
inline constexpr std::uint8_t reserve2 = 48;
inline constexpr std::uint8_t reserve3 = 52;
inline constexpr std::uint8_t reserve4 = 56;
inline constexpr std::uint8_t reserve5 = 57;

static_assert(reserve5 + 1 == kCalibParaSize);
}  // namespace calib_para

namespace touch_point {
inline constexpr std::size_t x = 0;
inline constexpr std::size_t y = 4;
inline constexpr std::size_t z = 8;
inline constexpr std::size_t valid = 12;

static_assert(valid + 1 == kTouchPointSize);
}  // namespace touch_point

namespace device_identity {
inline constexpr std::size_t idVendor = 0;
inline constexpr std::size_t idProduct = 2;
inline constexpr std::size_t bcdDevice = 4;

static_assert(bcdDevice + 2 == kDeviceIdentitySize);
}  // namespace device_identity

}  // namespace ots::layout
