#include "sim/camera_blocks.h"

#include <algorithm>
#include <cstdio>

#include "protocol/bytes.h"

namespace ots::sim {

namespace {
// CameraParams
constexpr std::size_t kFlagsAt = 0;
constexpr std::size_t kFirstPixelAt = 2;
constexpr std::size_t kLastPixelAt = 6;
constexpr std::size_t kLensAt = 10;
constexpr std::size_t kAngleOffsetAt = 42;
constexpr std::size_t kAngleScaleAt = 46;
static_assert(kLensAt + 4 * kLensTerms == kAngleOffsetAt);
static_assert(kAngleScaleAt + 4 <= kBlockSize);

// PanelParams
constexpr std::size_t kWidthAt = 2;
constexpr std::size_t kHeightAt = 6;
constexpr std::size_t kFpsAt = 10;
constexpr std::size_t kMaxSpeedAt = 14;
constexpr std::size_t kCamOffsetYAt = 18;
constexpr std::size_t kCamLOffsetXAt = 22;
constexpr std::size_t kCamROffsetXAt = 26;
constexpr std::size_t kRefCountAt = 30;
constexpr std::size_t kWeightAt = 34;
static_assert(kWeightAt + 4 <= kBlockSize);

// Version block
constexpr std::size_t kMinorAt = 0;
constexpr std::size_t kMajorAt = 1;
constexpr std::size_t kBuildAt = 2;
static_assert(kVersionTextOffset + kVersionTextSize <= kBlockSize);

std::size_t LensAt(int k) {
    return kLensAt + 4 * static_cast<std::size_t>(k);
}
}  // namespace

Block EncodeCameraParams(const CameraParams& params) {
    Block b{};
    b[kFlagsAt] = params.flags;
    ots::StoreI32(b, kFirstPixelAt, params.firstPixel);
    ots::StoreI32(b, kLastPixelAt, params.lastPixel);
    for (int k = 0; k < kLensTerms; ++k) {
        ots::StoreReal4(b, LensAt(k), params.p[static_cast<std::size_t>(k)]);
    }
    ots::StoreReal4(b, kAngleOffsetAt, params.J);
    ots::StoreReal4(b, kAngleScaleAt, params.K);
    return b;
}

CameraParams DecodeCameraParams(std::span<const std::uint8_t, kBlockSize> block) {
    CameraParams params;
    params.flags = block[kFlagsAt];
    params.firstPixel = ots::LoadI32(block, kFirstPixelAt);
    params.lastPixel = ots::LoadI32(block, kLastPixelAt);
    for (int k = 0; k < kLensTerms; ++k) {
        params.p[static_cast<std::size_t>(k)] = ots::LoadReal4(block, LensAt(k));
    }
    params.J = ots::LoadReal4(block, kAngleOffsetAt);
    params.K = ots::LoadReal4(block, kAngleScaleAt);
    return params;
}

Block EncodePanelParams(const PanelParams& params) {
    Block b{};
    ots::StoreI32(b, kWidthAt, params.PanelWidth);
    ots::StoreI32(b, kHeightAt, params.PanelHeight);
    ots::StoreI32(b, kFpsAt, params.fps);
    ots::StoreI32(b, kMaxSpeedAt, params.MaxSpeed);
    ots::StoreI32(b, kCamOffsetYAt, params.camOffsetY);
    ots::StoreI32(b, kCamLOffsetXAt, params.camLOffsetX);
    ots::StoreI32(b, kCamROffsetXAt, params.camROffsetX);
    ots::StoreI32(b, kRefCountAt, params.VelocityRefCount);
    ots::StoreReal4(b, kWeightAt, params.VelocityWeight);
    return b;
}

PanelParams DecodePanelParams(std::span<const std::uint8_t, kBlockSize> block) {
    PanelParams params;
    params.PanelWidth = ots::LoadI32(block, kWidthAt);
    params.PanelHeight = ots::LoadI32(block, kHeightAt);
    params.fps = ots::LoadI32(block, kFpsAt);
    params.MaxSpeed = ots::LoadI32(block, kMaxSpeedAt);
    params.camOffsetY = ots::LoadI32(block, kCamOffsetYAt);
    params.camLOffsetX = ots::LoadI32(block, kCamLOffsetXAt);
    params.camROffsetX = ots::LoadI32(block, kCamROffsetXAt);
    params.VelocityRefCount = ots::LoadI32(block, kRefCountAt);
    params.VelocityWeight = ots::LoadReal4(block, kWeightAt);
    return params;
}

bool IsUsablePanelParams(const PanelParams& params) {
    if (params.MaxSpeed <= 0 || params.VelocityRefCount == 0 ||
        !(params.VelocityWeight >= 0.0f && params.VelocityWeight < 1.0f)) {
        return false;
    }
    // A zero or negative size, rate or baseline gives the driver nothing to scale by.
    const std::int64_t baseline =
        std::int64_t{params.camROffsetX} - params.camLOffsetX + params.PanelWidth;
    return params.PanelWidth > 0 && params.PanelHeight > 0 && params.fps > 0 && baseline > 0;
}

std::string VersionText(const FirmwareVersion& version) {
    char text[kVersionTextSize + 1] = {};
    std::snprintf(text, sizeof text, "firmware %u.%u build %u", unsigned{version.major},
                  unsigned{version.minor}, unsigned{version.build});
    return text;
}

Block EncodeVersionBlock(const FirmwareVersion& version) {
    Block b{};
    b[kMinorAt] = version.minor;
    b[kMajorAt] = version.major;
    ots::StoreU16(b, kBuildAt, version.build);
    const std::string text = VersionText(version);
    std::copy_n(text.begin(), std::min(text.size(), kVersionTextSize - 1),
                b.begin() + kVersionTextOffset);
    return b;
}

}  // namespace ots::sim
