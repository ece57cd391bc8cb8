#include "frame_feeder.h"

#include <algorithm>

#include "sim/camera_run_length.h"
#include "touch/frame_assembly.h"
#include "touch/position.h"

namespace camera_e2e {

namespace {
template <typename Block>
void Copy(const Block& block, BYTE (&destination)[kParamBlockSize]) {
    std::copy(block.begin(), block.end(), destination);
}
}  // namespace

// Attach puts ScreenConfig's speed limits into PanelParams (15000, 5, 20 % by default); the
// realistic panel reports these very values, so its blocks go in as the controller sends them.
FrameFeeder::FrameFeeder(const ots::sim::CameraPanel& panel, ots::sim::SensorNoise noise)
    : panel_(panel), optics_(panel), sensor_(noise), td_(std::make_unique<TOUCH_DATA>()) {
    Copy(ots::sim::EncodePanelParams(panel.panel), td_->PanelParams);
    Copy(ots::sim::EncodeCameraParams(panel.camera0), td_->CameraParams0);
    Copy(ots::sim::EncodeCameraParams(panel.camera1), td_->CameraParams1);
    SetupGeometry(td_->PanelParams, td_->CameraParams1, td_->CameraParams0, &td_->Optical);
}

bool FrameFeeder::Show(std::span<const ots::sim::Finger> fingers) {
    const ots::sim::CameraLines lines = optics_.Render(fingers, &sensor_);
    const bool aFirst = panel_.CameraAFirst();
    const auto first = ots::sim::EncodeLine(aFirst ? lines.a : lines.b, 0);
    const auto second = ots::sim::EncodeLine(aFirst ? lines.b : lines.a, 1);
    const bool pending = AssembleFrame(*td_, first.packet);
    return !pending && AssembleFrame(*td_, second.packet);
}

}  // namespace camera_e2e
