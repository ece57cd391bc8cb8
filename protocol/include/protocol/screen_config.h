// ScreenConfig: the 32-byte screen and camera geometry record (registry key "\ScreenConfig",
// load only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kScreenConfigSize = 32;

struct ScreenConfig {
    std::uint32_t MaxSpeed;          // offset 0, panel units per second
    std::uint8_t VelocityRefCount;   // 4
    std::uint8_t VelocityWeight;     // 5, percent
    std::uint8_t pos;                // 6
    std::uint8_t s1;                 // 7
    std::uint32_t width;             // 8
    std::uint32_t hight;             // 12 (the registry spells it so)
    std::uint32_t fps;               // 16
    std::uint32_t camOffsetY;        // 20
    std::uint32_t camLOffsetX;       // 24
    std::uint32_t camROffsetX;       // 28
};

ScreenConfig DefaultScreenConfig();  // MaxSpeed 15000, VelocityRefCount 5, VelocityWeight 20

ScreenConfig DecodeScreenConfig(std::span<const std::uint8_t, kScreenConfigSize> bytes);
void EncodeScreenConfig(const ScreenConfig& record, std::span<std::uint8_t, kScreenConfigSize> bytes);

}  // namespace ots
