// DeviceConfig: the 58-byte device configuration record (registry key "\DeviceConfig", control
// codes 0x80002040 / 0x80002044, and block (2, 0x30, 1) of the camera controller).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kDeviceConfigSize = 58;

struct DeviceConfig {
    std::uint8_t DeviceID;             // offset 0
    std::uint8_t MonitorID;            // 1
    std::uint16_t MinX;                // 2
    std::uint16_t MinY;                // 4
    std::uint16_t MaxX;                // 6
    std::uint16_t MaxY;                // 8
    std::uint8_t IsCalibrated;         // 10: exactly 1 puts the calibration in force
    std::uint32_t OffX;                // 11
    std::uint32_t OffY;                // 15
    std::uint16_t ResolutionX;         // 19
    std::uint16_t ResolutionY;         // 21
    std::uint16_t PrimaryResolutionX;  // 23
    std::uint16_t PrimaryResolutionY;  // 25
    std::array<std::uint8_t, 31> reserved;  // 27..57
};

DeviceConfig DecodeDeviceConfig(std::span<const std::uint8_t, kDeviceConfigSize> bytes);
void EncodeDeviceConfig(const DeviceConfig& record, std::span<std::uint8_t, kDeviceConfigSize> bytes);

}  // namespace ots
