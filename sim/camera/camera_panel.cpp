#include "sim/camera_panel.h"

#include "sim/camera_lens.h"

namespace ots::sim {

namespace {
constexpr int kScreenWidthPx = 800;
constexpr int kScreenHeightPx = 600;
constexpr double kWidthMm = 211.0;
constexpr double kHeightMm = 158.0;
constexpr int kFramesPerSecond = 100;
constexpr std::uint8_t kPacketACameraFirst = 0x01;

CameraParams Lens(std::uint8_t flags, std::array<float, kLensTerms> p, float j, int first,
                  int last) {
    CameraParams params;
    params.flags = flags;
    params.firstPixel = first;
    params.lastPixel = last;
    params.p = p;
    params.J = j;
    params.K = 1.0f;
    return params;
}
}  // namespace

double CameraPanel::PanelUnitsPerMm() const {
    return Geometry().width / widthMm;
}

CameraPanel RealisticCameraPanel() {
    CameraPanel panel;
    panel.name = "realistic";
    panel.screenWidthPx = kScreenWidthPx;
    panel.screenHeightPx = kScreenHeightPx;
    panel.widthMm = kWidthMm;
    panel.heightMm = kHeightMm;
    panel.framesPerSecond = kFramesPerSecond;
    panel.panel = PanelParams{.PanelWidth = kScreenWidthPx,
                              .PanelHeight = kScreenHeightPx,
                              .fps = kFramesPerSecond,
                              .MaxSpeed = 15000,
                              .camOffsetY = -15,
                              .camLOffsetX = -20,
                              .camROffsetX = 20,
                              .VelocityRefCount = 5,
                              .VelocityWeight = 0.2f};
    panel.camera0 =
        Lens(kPacketACameraFirst, {-0.004f, 0.93f, -0.02f, -0.035f, 0, 0, 0, 0}, -0.008f, 6, 634);
    panel.camera1 = Lens(0, {0.005f, 0.90f, 0.03f, -0.04f, 0, 0, 0, 0}, 0.01f, 8, 632);
    panel.version = FirmwareVersion{.major = 2, .minor = 3, .build = 17};
    return panel;
}

CameraPanel MountedCameraPanel() {
    CameraPanel panel = RealisticCameraPanel();
    panel.name = "mounted";
    const double unitsPerMmX = 32768.0 / panel.widthMm;
    const double unitsPerMmY = 32768.0 / panel.heightMm;
    panel.mounting = Mounting{.offsetX = 3.0 * unitsPerMmX,
                              .offsetY = -2.0 * unitsPerMmY,
                              .rotationDeg = 0.6,
                              .radialK = 0.015};
    return panel;
}

CameraPanel DefaultsCameraPanel() {
    CameraPanel panel;
    panel.name = "defaults";
    panel.screenWidthPx = kScreenWidthPx;
    panel.screenHeightPx = kScreenHeightPx;
    panel.widthMm = kWidthMm;
    panel.heightMm = kHeightMm;
    panel.framesPerSecond = kFramesPerSecond;
    panel.panel = PanelParams{.PanelWidth = kScreenWidthPx, .PanelHeight = kScreenHeightPx};
    panel.camera0 = Lens(0, {0, 0.5f, 0, 0, 0, 0, 0, 0}, 0.0f, 0, kLinePixels);
    panel.camera1 = Lens(0, {0, 0.5f, 0, 0, 0, 0, 0, 0}, 0.0f, 0, kLinePixels);
    panel.version = FirmwareVersion{.major = 1, .minor = 0, .build = 1};
    return panel;
}

}  // namespace ots::sim
