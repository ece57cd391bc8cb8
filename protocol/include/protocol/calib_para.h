// CalibPara: one axis's calibration polynomial, 58 bytes (registry keys "\CalibParaX" and
// "\CalibParaY", control codes 0x80002020 / 0x80002024, blocks (2, 0x14, 0/1) of the camera
// controller). Coefficient Aij multiplies x^i * y^j.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kCalibParaSize = 58;

struct CalibPara {
    float A03;  // offset 0
    float A12;  // 4
    float A21;  // 8
    float A30;  // 12
    float A02;  // 16
    float A11;  // 20
    float A20;  // 24
    float A01;  // 28
    float A10;  // 32
    float A00;  // 36
    std::uint32_t reserve0;  // 40
    std::uint32_t reserve1;  // 44
    std::uint32_t reserve2;  // 48
    std::uint32_t reserve3;  // 52
    std::uint8_t reserve4;   // 56
    std::uint8_t reserve5;   // 57
};

// x polynomial: A10 = 1; y polynomial: A01 = 1; everything else 0.
CalibPara IdentityCalibParaX();
CalibPara IdentityCalibParaY();

CalibPara DecodeCalibPara(std::span<const std::uint8_t, kCalibParaSize> bytes);
void EncodeCalibPara(const CalibPara& record, std::span<std::uint8_t, kCalibParaSize> bytes);

}  // namespace ots
