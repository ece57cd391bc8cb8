// DriverConfig: the 58-byte driver settings record (registry key "\DriverConfig", control codes
// 0x80002014 / 0x80002018).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kDriverConfigSize = 58;

struct DriverConfig {
    std::uint8_t Mode;               // offset 0: 0 click on touch, 1 click on release, 2 mouse emulation
    std::uint8_t EnableTouch;        // 1
    std::uint8_t EnableRightClick;   // 2
    std::uint8_t CalibrateType;      // 3
    std::uint8_t EnableDoubleClick;  // 4
    std::uint8_t HideCursor;         // 5
    std::uint8_t EnableBeep;         // 6
    std::uint8_t BeepType;           // 7
    std::uint8_t BeepMode;           // 8
    std::uint8_t IsCalibrating;      // 9
    std::uint32_t BeepFrequency;     // 10
    std::uint32_t BeepDuration;      // 14
    std::uint32_t Smoothness;        // 18
    std::uint32_t RightClickTime;    // 22, ms
    std::uint32_t RightClickArea;    // 26
    std::uint32_t DoubleClickTime;   // 30, ms
    std::uint32_t DoubleClickArea;   // 34
    std::array<std::uint8_t, 20> reserved;  // 38..57, carried unchanged
};

// The defaults of a missing registry value (reserved bytes 0).
DriverConfig DefaultDriverConfig();

DriverConfig DecodeDriverConfig(std::span<const std::uint8_t, kDriverConfigSize> bytes);
void EncodeDriverConfig(const DriverConfig& record, std::span<std::uint8_t, kDriverConfigSize> bytes);

}  // namespace ots
