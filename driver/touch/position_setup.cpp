// Geometry set-up from the camera controller's parameter blocks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "protocol/bytes.h"
#include "touch/panel_params.h"
#include "touch/position.h"
#include "touch/position_smoothing.h"

namespace {

using ParamBlock = std::span<const BYTE, kParamBlockSize>;

inline constexpr double kPanelUnits = 32768.0;  // positions travel in 1/32768 of the panel
inline constexpr float kFallbackScaleX = 32768.0f;
inline constexpr float kFallbackScaleY = 43690.668f;  // a 4:3 panel over the baseline
inline constexpr float kFallbackMaxStep = 0.25f;      // baseline units per frame
// The fall-back scale stands for cameras at the two ends of the top edge of a 4:3 panel.
inline constexpr PanelArea kFallbackPanel{0.0, 0.0, 1.0, 0.75};

// CameraParams layout.
inline constexpr std::size_t kCamFirstPixelOffset = 2;
inline constexpr std::size_t kCamLastPixelOffset = 6;
inline constexpr std::size_t kCamLensOffset = 10;         // p0..p7, REAL4 each
inline constexpr std::size_t kCamAngleOffsetOffset = 42;  // J
inline constexpr std::size_t kCamAngleScaleOffset = 46;   // K
inline constexpr int kLensTerms = 8;
// A lens whose linear term lies outside this range is not a lens this panel was built with.
inline constexpr float kMinLensSlope = 0.8f;
inline constexpr float kMaxLensSlope = 1.5f;
inline constexpr float kDefaultLensSlope = 1.15f;  // radians over half the line

// Scale from baseline units to 1/32768 panel units. Besides the controller's own checks the
// panel size, frame rate and baseline must be positive: a zero divides, a negative mirrors.
bool ReadOutputScale(ParamBlock block, OpticalContext& oc) {
    const INT32 width = ots::LoadI32(block, kPanelWidthOffset);
    const INT32 height = ots::LoadI32(block, kPanelHeightOffset);
    const INT32 fps = ots::LoadI32(block, kPanelFpsOffset);
    const INT32 maxSpeed = ots::LoadI32(block, kPanelMaxSpeedOffset);
    const INT32 camOffsetY = ots::LoadI32(block, kPanelCamOffsetYOffset);
    const INT32 camLOffsetX = ots::LoadI32(block, kPanelCamLOffsetXOffset);
    const INT32 camROffsetX = ots::LoadI32(block, kPanelCamROffsetXOffset);
    const INT32 refCount = ots::LoadI32(block, kPanelVelocityRefCountOffset);
    const float weight = ots::LoadReal4(block, kPanelVelocityWeightOffset);
    // MaxSpeed arrives as the registry's unsigned DWORD: 2^31 or more reads as negative here.
    if (maxSpeed <= 0 || refCount == 0 || !(weight >= 0.0f && weight < 1.0f)) {
        return false;
    }
    if (width <= 0 || height <= 0 || fps <= 0) {
        return false;
    }
    // Summed in 64 bits: the offsets come from the controller and may be anything.
    const auto baseline = static_cast<float>(std::int64_t{camROffsetX} - camLOffsetX + width);
    if (!(baseline > 0.0f)) {
        return false;
    }
    const double l = baseline;
    oc.ScaleX = static_cast<float>(kPanelUnits * l / width);
    oc.OffsetX = static_cast<float>(camLOffsetX * kPanelUnits / width);
    oc.ScaleY = static_cast<float>(kPanelUnits * l / height);
    oc.OffsetY = static_cast<float>(camOffsetY * kPanelUnits / height);
    oc.ScaleZ = oc.ScaleX;
    oc.MaxStep = static_cast<float>(static_cast<double>(maxSpeed) / fps / l);
    const double left = -static_cast<double>(camLOffsetX);
    const double top = -static_cast<double>(camOffsetY);
    oc.Panel = PanelArea{left / l, top / l, (left + width) / l, (top + height) / l};
    return true;
}

void SetFallbackScale(OpticalContext& oc) {
    oc.ScaleX = kFallbackScaleX;
    oc.OffsetX = 0.0f;
    oc.ScaleY = kFallbackScaleY;
    oc.OffsetY = 0.0f;
    oc.ScaleZ = kFallbackScaleX;
    oc.MaxStep = kFallbackMaxStep;
    oc.Panel = kFallbackPanel;
}

// Camera B looks from the other end of the baseline, so its angles run the other way.
// A block is refused when its linear term is off, its pixel range is empty after clamping to
// the line, or its coefficients are not finite numbers (NaN, infinity, or K·p overflowing).
bool ReadCameraModel(ParamBlock block, bool mirrored, CameraModel& model) {
    float p[kLensTerms];
    for (int k = 0; k < kLensTerms; ++k) {
        p[k] = ots::LoadReal4(block, kCamLensOffset + 4 * static_cast<std::size_t>(k));
    }
    const float slope = std::fabs(p[1]);
    if (!(slope >= kMinLensSlope && slope <= kMaxLensSlope)) {
        return false;
    }
    const INT32 lineEnd = static_cast<INT32>(ots::kLineImagePixels);
    CameraModel m{};
    m.firstPixel = std::clamp(ots::LoadI32(block, kCamFirstPixelOffset), 0, lineEnd);
    m.lastPixel = std::clamp(ots::LoadI32(block, kCamLastPixelOffset), 0, lineEnd);
    if (m.firstPixel >= m.lastPixel) {
        return false;
    }
    const float j = ots::LoadReal4(block, kCamAngleOffsetOffset);
    const float k = ots::LoadReal4(block, kCamAngleScaleOffset);
    for (int i = 0; i < kLensTerms; ++i) {
        float c = k * p[i];
        if (i == 0) {
            c += j;
        }
        if (!std::isfinite(c)) {
            return false;
        }
        m.c[i] = mirrored ? -c : c;
    }
    model = m;
    return true;
}

CameraModel DefaultCameraModel(bool mirrored) {
    CameraModel m{};
    m.firstPixel = 0;
    m.lastPixel = static_cast<INT32>(ots::kLineImagePixels);
    m.c[1] = mirrored ? -kDefaultLensSlope : kDefaultLensSlope;
    return m;
}

void SetCameraModel(const BYTE* block, bool mirrored, CameraModel& model) {
    if (block == nullptr || !ReadCameraModel(ParamBlock(block, kParamBlockSize), mirrored, model)) {
        model = DefaultCameraModel(mirrored);
    }
}

void ClearTracking(OpticalContext& oc) {
    position::ClearRing(oc.RingA);
    position::ClearRing(oc.RingB);
    for (SolvedPoint* p :
         {&oc.LastRawA, &oc.LastRawB, &oc.PointA, &oc.PointB, &oc.TrackA, &oc.TrackB}) {
        p->valid = 0;
    }
    oc.AmbiguityCount = 0;
}

}  // namespace

void SetupGeometry(const BYTE* panelParams, const BYTE* cameraParams1, const BYTE* cameraParams0,
                   OpticalContext* oc) {
    if (oc == nullptr) {
        return;
    }
    if (panelParams == nullptr || !ReadOutputScale(ParamBlock(panelParams, kParamBlockSize), *oc)) {
        SetFallbackScale(*oc);
    }
    oc->CalibX = ots::IdentityCalibParaX();
    oc->CalibY = ots::IdentityCalibParaY();
    SetCameraModel(cameraParams1, false, oc->CameraModelA);
    SetCameraModel(cameraParams0, true, oc->CameraModelB);
    ClearTracking(*oc);
}
