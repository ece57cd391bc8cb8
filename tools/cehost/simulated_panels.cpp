#include "simulated_panels.h"

#include "sim/camera_device.h"
#include "sim/coordinate_controller.h"
#include "sim/replay_device.h"

namespace ots::host {
namespace {

using ots::sim::CameraDevice;
using ots::sim::CoordinateController;

// Both device models take the same touches; only their make-up differs.
template <class Device>
class DevicePanel final : public SimulatedPanel {
  public:
    DevicePanel(std::shared_ptr<Device> device, int widthPx, int heightPx)
        : device_(std::move(device)), widthPx_(widthPx), heightPx_(heightPx) {}

    std::shared_ptr<ce::host::UsbDeviceModel> Model() override { return device_; }
    void Down(Point at) override { device_->TouchDown(at.xPx, at.yPx); }
    void MoveTo(Point to, double durationMs) override {
        device_->MoveTo(to.xPx, to.yPx, durationMs);
    }
    void Hold(double durationMs) override { device_->Hold(durationMs); }
    void Up() override { device_->TouchUp(); }
    bool Settle(DWORD platformTimeoutMs) override { return device_->Settle(platformTimeoutMs); }
    int WidthPx() const override { return widthPx_; }
    int HeightPx() const override { return heightPx_; }
    std::string Note() const override {
        if constexpr (std::is_same_v<Device, CameraDevice>) {
            return "nvm-writes=" + std::to_string(device_->Nvm()->Writes());
        }
        return {};
    }

  private:
    std::shared_ptr<Device> device_;
    int widthPx_;
    int heightPx_;
};

// A panel mounted as real ones are: shifted, scaled, a little turned and bowed, and noisy.
ots::sim::Mounting MountedPanel() {
    return {.offsetX = 40.0,
            .offsetY = -30.0,
            .scaleX = 0.97,
            .scaleY = 1.02,
            .rotationDeg = 0.8,
            .radialK = 0.02,
            .noiseSigma = 2.0,
            .seed = 7};
}

// Offset by about 2 mm and turned by 0.7 degrees, otherwise true: what an affine calibration
// takes out completely.
ots::sim::Mounting ShiftedPanel() {
    return {.offsetX = 45.0, .offsetY = -35.0, .rotationDeg = 0.7, .noiseSigma = 0.5, .seed = 11};
}

std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeCoordinate(const std::string& name) {
    ots::sim::CoordinateControllerOptions options;
    if (name == "mounted") {
        options.mounting = MountedPanel();
    } else if (name == "shifted") {
        options.mounting = ShiftedPanel();
    } else if (name != "ideal") {
        return "no coordinate panel is called \"" + name + "\" (ideal, mounted, shifted)";
    }
    auto device = std::make_shared<CoordinateController>(options);
    return std::make_unique<DevicePanel<CoordinateController>>(device, options.screenWidthPx,
                                                               options.screenHeightPx);
}

std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeCamera(
    const std::string& name, std::shared_ptr<ots::sim::CameraNvm> nvm) {
    ots::sim::CameraPanel panel;
    if (name == "realistic") {
        panel = ots::sim::RealisticCameraPanel();
    } else if (name == "mounted") {
        panel = ots::sim::MountedCameraPanel();
    } else if (name == "defaults") {
        panel = ots::sim::DefaultsCameraPanel();
    } else {
        return "no camera panel is called \"" + name + "\" (realistic, mounted, defaults)";
    }
    auto device = std::make_shared<CameraDevice>(panel, std::move(nvm));
    return std::make_unique<DevicePanel<CameraDevice>>(device, panel.screenWidthPx,
                                                       panel.screenHeightPx);
}

// A recording played back: it takes no touches, and list shows how far it has got.
class ReplayPanel final : public SimulatedPanel {
  public:
    explicit ReplayPanel(ots::sim::UsbRecording recording)
        : device_(std::make_shared<ots::sim::ReplayDevice>(std::move(recording))) {}

    std::shared_ptr<ce::host::UsbDeviceModel> Model() override { return device_; }
    void Down(Point) override {}
    void MoveTo(Point, double) override {}
    void Hold(double) override {}
    void Up() override {}
    bool Settle(DWORD) override { return true; }
    int WidthPx() const override { return 0; }
    int HeightPx() const override { return 0; }
    bool TakesTouches() const override { return false; }
    std::string Note() const override {
        const ots::sim::ReplayProgress p = device_->Progress();
        return "replayed " + std::to_string(p.controls) + "/" + std::to_string(p.controlsRecorded) +
               " requests, " + std::to_string(p.packets) + "/" + std::to_string(p.packetsRecorded) +
               " packets, " + std::to_string(p.differences.size()) + " differences";
    }

  private:
    std::shared_ptr<ots::sim::ReplayDevice> device_;
};

}  // namespace

std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeReplayPanel(
    const std::string& recordingText) {
    auto recording = ots::sim::ParseRecording(recordingText);
    if (auto* error = std::get_if<std::string>(&recording)) {
        return "not a recording: " + *error;
    }
    return std::make_unique<ReplayPanel>(std::move(std::get<ots::sim::UsbRecording>(recording)));
}

std::string DefaultPanelName(ControllerKind kind) {
    return kind == ControllerKind::Camera ? "realistic" : "ideal";
}

std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeSimulatedPanel(
    ControllerKind kind, const std::string& panelName, std::shared_ptr<ots::sim::CameraNvm> nvm) {
    switch (kind) {
        case ControllerKind::Coordinate:
            return MakeCoordinate(panelName);
        case ControllerKind::Camera:
            return MakeCamera(panelName, std::move(nvm));
        case ControllerKind::None:
        case ControllerKind::Replay:
            break;
    }
    return std::string("no controller kind given");
}

}  // namespace ots::host
