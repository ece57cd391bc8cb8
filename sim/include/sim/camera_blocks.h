// The 58-byte blocks a camera controller reports and keeps: the lens block of each camera
// (CameraParams, code 0x10), the panel block (PanelParams, code 0x30 index 0) and the firmware
// version block (code 0x32). Layouts, offsets in bytes, little-endian:
//
// CameraParams           0 BYTE flags (camera 0's bits 0-1: packet order, nonzero = packet 0
//                          carries camera A), 2 INT32 firstPixel, 6 INT32 lastPixel,
//                          10..41 REAL4 p0..p7, 42 REAL4 J, 46 REAL4 K; other bytes 0.
// PanelParams            2 INT32 PanelWidth, 6 PanelHeight, 10 fps, 14 MaxSpeed,
//                          18 camOffsetY, 22 camLOffsetX, 26 camROffsetX, 30 VelocityRefCount,
//                          34 REAL4 velocity weight; other bytes 0.
// Version block          0 BYTE minor, 1 BYTE major (shown as "major.minor"), 2 UINT16 build,
//                          4..35 ASCII text, NUL-padded (e.g. "firmware 2.3 build 17");
//                          other bytes 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ots::sim {

inline constexpr std::size_t kBlockSize = 58;
using Block = std::array<std::uint8_t, kBlockSize>;

inline constexpr int kLensTerms = 8;

struct CameraParams {
    std::uint8_t flags = 0;  // byte 0; in camera 0's block bits 0-1 give the packet order
    std::int32_t firstPixel = 0;
    std::int32_t lastPixel = 0;
    std::array<float, kLensTerms> p{};  // lens polynomial p0..p7
    float J = 0.0f;                     // angle offset, radians
    float K = 0.0f;                     // angle scale
};

Block EncodeCameraParams(const CameraParams& params);
CameraParams DecodeCameraParams(std::span<const std::uint8_t, kBlockSize> block);

struct PanelParams {
    std::int32_t PanelWidth = 0;  // panel units
    std::int32_t PanelHeight = 0;
    std::int32_t fps = 0;
    std::int32_t MaxSpeed = 0;  // panel units per second
    std::int32_t camOffsetY = 0;
    std::int32_t camLOffsetX = 0;
    std::int32_t camROffsetX = 0;
    std::int32_t VelocityRefCount = 0;
    float VelocityWeight = 0.0f;  // in [0, 1) when usable
};

Block EncodePanelParams(const PanelParams& params);
PanelParams DecodePanelParams(std::span<const std::uint8_t, kBlockSize> block);

// Whether the driver takes the panel block's geometry rather than its fall-back.
bool IsUsablePanelParams(const PanelParams& params);

struct FirmwareVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t build = 0;
};

inline constexpr std::size_t kVersionTextOffset = 4;
inline constexpr std::size_t kVersionTextSize = 32;

Block EncodeVersionBlock(const FirmwareVersion& version);
// The text stored in the block: "firmware <major>.<minor> build <build>".
std::string VersionText(const FirmwareVersion& version);

}  // namespace ots::sim
