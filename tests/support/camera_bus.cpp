#include "support/camera_bus.h"

#include <utility>

namespace ots::test {

namespace {
constexpr double kInjectedFullScale = 65536.0;  // mouse_event's absolute range
}  // namespace

CameraDeviceOptions FrameByFrame(CameraDeviceOptions options) {
    options.pacing = ots::sim::Pacing::AsFastAsTaken;
    return options;
}

ScreenPosition ToScreen(const ce::host::MouseEvent& event, const CameraPanel& panel) {
    return ScreenPosition{event.dx * panel.screenWidthPx / kInjectedFullScale,
                          event.dy * panel.screenHeightPx / kInjectedFullScale};
}

void CameraBusTest::TearDown() {
    Unplug();
    ots::test::IntegrationTest::TearDown();
}

std::shared_ptr<CameraDevice> CameraBusTest::MakeCamera(const CameraPanel& panel,
                                                        const CameraDeviceOptions& options,
                                                        std::shared_ptr<ots::sim::CameraNvm> nvm) {
    return std::make_shared<CameraDevice>(panel, std::move(nvm), options);
}

void CameraBusTest::Plug(std::shared_ptr<CameraDevice> camera) {
    camera_ = std::move(camera);
    plugged_.emplace(camera_);
    ASSERT_TRUE(camera_->IsConnected());
}

void CameraBusTest::Unplug() {
    plugged_.reset();
}

void CameraBusTest::Settle() {
    ASSERT_TRUE(camera_->Settle(kSettleMs)) << "the driver did not take every frame";
}

std::vector<ce::host::MouseEvent> CameraBusTest::EventsWithFlags(DWORD flags) const {
    std::vector<ce::host::MouseEvent> matching;
    for (const ce::host::MouseEvent& event : recorder_.Events()) {
        if (event.flags == flags) {
            matching.push_back(event);
        }
    }
    return matching;
}

}  // namespace ots::test
