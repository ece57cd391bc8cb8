// A camera controller's driver context set up as attach sets it up, and the two image packets
// of a frame rendered by the simulated optics: what the benchmarks feed ProcessReport with.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "ce/kernel.h"
#include "core/device_context.h"
#include "protocol/device_identity.h"
#include "sim/camera_optics.h"
#include "sim/camera_panel.h"
#include "sim/camera_run_length.h"
#include "touch/panel_params.h"
#include "touch/position.h"
#include "touch/process_report.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"

namespace bench {

using Packet = ots::sim::ImagePacket;

struct Frame {
    Packet first;
    Packet second;
};

// A camera controller's context as attach leaves it after a successful initialisation with the
// given DriverConfig (the defaults unless told) and the default ScreenConfig.
class CameraContext {
  public:
    explicit CameraContext(const ots::sim::CameraPanel& panel,
                           const ots::DriverConfig& config = ots::DefaultDriverConfig())
        : device_(std::make_unique<DEVICE_CONTEXT>()),
          touch_(std::make_unique<TOUCH_DATA>()),
          usb_(std::make_unique<USB_DEVICE>()) {
        usb_->Descriptor.idVendor = ots::kCameraVendorId;
        usb_->Descriptor.idProduct = ots::kCameraProductId;
        device_->dwSig = DEVICE_SIG;
        InitializeCriticalSection(&device_->csTouch);
        device_->lpDeviceInfo = usb_.get();
        device_->DriverConfig = config;
        device_->ScreenConfig = ots::DefaultScreenConfig();
        device_->pTouchData = touch_.get();

        TOUCH_DATA& td = *touch_;
        Copy(ots::sim::EncodePanelParams(panel.panel), td.PanelParams);
        Copy(ots::sim::EncodeCameraParams(panel.camera0), td.CameraParams0);
        Copy(ots::sim::EncodeCameraParams(panel.camera1), td.CameraParams1);
        SetupGeometry(td.PanelParams, td.CameraParams1, td.CameraParams0, &td.Optical);
        ResetTapFilter(&td.Tap);
        SetupTapFilter(&td.Tap, device_->DriverConfig.DoubleClickTime,
                       device_->DriverConfig.DoubleClickArea, PanelWidth(td), PanelHeight(td));
        td.DeviceConfig.MaxX = static_cast<UINT16>(PanelWidth(td));
        td.DeviceConfig.MaxY = static_cast<UINT16>(PanelHeight(td));
    }
    ~CameraContext() { DeleteCriticalSection(&device_->csTouch); }
    CameraContext(const CameraContext&) = delete;
    CameraContext& operator=(const CameraContext&) = delete;

    const TOUCH_DATA& Touch() const { return *touch_; }

    void Handle(const Frame& frame) {
        ProcessReport(frame.first.data(), static_cast<DWORD>(frame.first.size()), device_.get());
        ProcessReport(frame.second.data(), static_cast<DWORD>(frame.second.size()), device_.get());
    }

  private:
    template <typename Block>
    static void Copy(const Block& block, BYTE (&destination)[kParamBlockSize]) {
        std::copy(block.begin(), block.end(), destination);
    }

    std::unique_ptr<DEVICE_CONTEXT> device_;
    std::unique_ptr<TOUCH_DATA> touch_;
    std::unique_ptr<USB_DEVICE> usb_;
};

inline Frame Render(const ots::sim::CameraPanel& panel,
                    const std::vector<ots::sim::Finger>& fingers) {
    const ots::sim::CameraOptics optics(panel);
    const ots::sim::CameraLines lines = optics.Render(fingers);
    const bool aFirst = panel.CameraAFirst();
    return Frame{ots::sim::EncodeLine(aFirst ? lines.a : lines.b, 0).packet,
                 ots::sim::EncodeLine(aFirst ? lines.b : lines.a, 1).packet};
}

inline constexpr double kFingerMm = 8.0;
inline constexpr int kFramesPerTurn = 200;  // a circle in two seconds at 100 frames per second

// A finger at the given frame of its turn round a circle.
inline ots::sim::Finger OnCircle(double centreX, double centreY, double radius, int frame) {
    const double angle = 2.0 * std::numbers::pi * frame / kFramesPerTurn;
    return {centreX + radius * std::cos(angle), centreY + radius * std::sin(angle), kFingerMm};
}

}  // namespace bench
