#include "touch/image_packet.h"

#include "touch/frame_assembly.h"
#include "touch/frame_points.h"
#include "touch/input_emulation.h"
#include "touch/point_history.h"
#include "touch/spline.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"

namespace {

// The tap step smooths the first touch; the second only gets as many points, interpolated.
int FilterFrame(TOUCH_DATA& td, const ots::DriverConfig& config, const ots::TouchPoint& a,
                const ots::TouchPoint& b) {
    if (config.Smoothness == 0) {
        td.FilteredA[0] = a;
        td.FilteredB[0] = b;
        return 1;
    }
    TapFilterStep(&td.Tap, a);
    const int released = TapFilterOutput(&td.Tap, td.FilteredA);
    PushPoint(&td.SecondHistory, b);
    return InterpolateSpline(td.SecondHistory, released, td.FilteredB);
}

}  // namespace

void RunTouchPipeline(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                      const ots::TouchPoint& a, const ots::TouchPoint& b) {
    TOUCH_DATA& td = *device.pTouchData;
    const int filtered = FilterFrame(td, config, a, b);
    for (int i = 0; i < filtered; ++i) {
        PushPoint(&td.HistoryA, td.FilteredA[i]);
        PushPoint(&td.HistoryB, td.FilteredB[i]);
        const int steps = InterpolateSplinePair(
            td.HistoryA, td.HistoryB, EstimateStepCount(td.HistoryA), td.SplineA, td.SplineB);
        for (int j = 0; j < steps; ++j) {
            td.CurrentPoint = td.SplineA[j];
            td.SecondPoint = td.SplineB[j];
            HandlePoint(device, config);
        }
    }
}

bool HandleImagePacket(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                       std::span<const BYTE> report) {
    if (report.size() < ots::kVendorPacketSize) {
        return false;
    }
    TOUCH_DATA& td = *device.pTouchData;
    if (!AssembleFrame(td, report.first<ots::kVendorPacketSize>())) {
        return false;
    }
    ots::TouchPoint a{};
    ots::TouchPoint b{};
    GetFramePoints(&a, &b, td.Optical);
    RunTouchPipeline(device, config, a, b);
    return true;
}
