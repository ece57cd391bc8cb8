#include "calibration_screen/touch_bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/camera_panel.h"

namespace calib_test {
namespace {

constexpr double kInjectedRange = 65536.0;  // mouse_event's absolute range
constexpr double kTapHoldMs = 120.0;

}  // namespace

ots::sim::Mounting ShiftedCoordinateMounting() {
    return {.offsetX = 45.0, .offsetY = -35.0, .scaleX = 0.97, .scaleY = 1.02, .rotationDeg = 0.7};
}

TouchBench::TouchBench(Generation generation, std::uint16_t coordinateVendor,
                       std::uint16_t coordinateProduct)
    : generation_(generation) {
    if (generation == Generation::Camera) {
        ots::sim::CameraDeviceOptions options;
        options.pacing = ots::sim::Pacing::AsFastAsTaken;
        camera_ = std::make_shared<ots::sim::CameraDevice>(ots::sim::MountedCameraPanel(), nullptr,
                                                           options);
        plugged_.emplace(camera_);
        EXPECT_TRUE(camera_->IsConnected());
    } else {
        ots::sim::CoordinateControllerOptions options;
        options.mounting = ShiftedCoordinateMounting();
        options.idVendor = coordinateVendor;
        options.idProduct = coordinateProduct;
        options.pacing = ots::sim::Pacing::AsFastAsTaken;
        coordinate_ = std::make_shared<ots::sim::CoordinateController>(options);
        plugged_.emplace(coordinate_);
        EXPECT_TRUE(coordinate_->IsConnected());
    }
}

TouchBench::~TouchBench() {
    Unplug();
}

void TouchBench::Tap(Pixel at) {
    if (camera_) {
        camera_->Tap(at.x, at.y, kTapHoldMs);
        EXPECT_TRUE(camera_->Settle(ots::test::kSettleMs));
    } else if (coordinate_) {
        coordinate_->Tap(at.x, at.y, kTapHoldMs);
        EXPECT_TRUE(coordinate_->Settle(ots::test::kSettleMs));
    }
}

std::optional<Pixel> TouchBench::Pointer() const {
    const std::vector<ce::host::MouseEvent> events = recorder_.Events();
    if (events.empty()) {
        return std::nullopt;
    }
    return Pixel{events.back().dx * kScreenWidthPx / kInjectedRange,
                 events.back().dy * kScreenHeightPx / kInjectedRange};
}

double TouchBench::WorstTapErrorMm() {
    double worst = 0.0;
    for (const double fx : {0.08, 0.3, 0.55, 0.9}) {
        for (const double fy : {0.1, 0.45, 0.7, 0.92}) {
            const Pixel finger{fx * kScreenWidthPx, fy * kScreenHeightPx};
            Tap(finger);
            const std::optional<Pixel> pointer = Pointer();
            if (!pointer) {
                return INFINITY;
            }
            worst = std::max(worst, std::hypot(pointer->x - finger.x, pointer->y - finger.y));
        }
    }
    return worst * kMmPerPx;
}

void TouchBench::Unplug() {
    plugged_.reset();
}

}  // namespace calib_test
