// ProcessReport per camera frame (its two image packets): frame assembly, the position
// computation, the tap stabiliser, the spline and the mouse modes with the driver's default
// settings, for a still touch, a moving touch and two moving touches on the realistic panel.
// mouse_event goes to a MouseEventRecorder, cleared outside the timing.
//
//   bench_process_report --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "ce/host/input_sink.h"
#include "ce/kernel.h"
#include "core/device_context.h"
#include "protocol/device_identity.h"
#include "sim/camera_optics.h"
#include "sim/camera_panel.h"
#include "sim/camera_run_length.h"
#include "touch/panel_params.h"
#include "touch/point_history.h"
#include "touch/position.h"
#include "touch/process_report.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"

namespace {

using Packet = ots::sim::ImagePacket;

struct Frame {
    Packet first;
    Packet second;
};

constexpr double kFingerMm = 8.0;
constexpr int kFramesPerTurn = 200;       // a circle in two seconds at 100 frames per second
constexpr std::size_t kClearEvery = 256;  // frames between clearings of the recorder

// A camera controller's context as attach leaves it after a successful initialisation with the
// default DriverConfig and ScreenConfig.
class CameraContext {
  public:
    explicit CameraContext(const ots::sim::CameraPanel& panel)
        : device_(std::make_unique<DEVICE_CONTEXT>()),
          touch_(std::make_unique<TOUCH_DATA>()),
          usb_(std::make_unique<USB_DEVICE>()) {
        usb_->Descriptor.idVendor = ots::kCameraVendorId;
        usb_->Descriptor.idProduct = ots::kCameraProductId;
        device_->dwSig = DEVICE_SIG;
        InitializeCriticalSection(&device_->csTouch);
        device_->lpDeviceInfo = usb_.get();
        device_->DriverConfig = ots::DefaultDriverConfig();
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

Frame Render(const ots::sim::CameraPanel& panel, const std::vector<ots::sim::Finger>& fingers) {
    const ots::sim::CameraOptics optics(panel);
    const ots::sim::CameraLines lines = optics.Render(fingers);
    const bool aFirst = panel.CameraAFirst();
    return Frame{ots::sim::EncodeLine(aFirst ? lines.a : lines.b, 0).packet,
                 ots::sim::EncodeLine(aFirst ? lines.b : lines.a, 1).packet};
}

ots::sim::Finger OnCircle(double centreX, double centreY, double radius, int frame) {
    const double angle = 2.0 * std::numbers::pi * frame / kFramesPerTurn;
    return {centreX + radius * std::cos(angle), centreY + radius * std::sin(angle), kFingerMm};
}

// One turn of the fingers' paths, frame by frame; the last frame leads back to the first.
std::vector<Frame> Frames(int fingers, bool moving) {
    const ots::sim::CameraPanel panel = ots::sim::RealisticCameraPanel();
    std::vector<Frame> frames;
    for (int i = 0; i < (moving ? kFramesPerTurn : 1); ++i) {
        std::vector<ots::sim::Finger> down = {OnCircle(260, 300, 120, i)};
        if (fingers == 2) {
            down.push_back(OnCircle(560, 300, 120, i + kFramesPerTurn / 2));
        }
        frames.push_back(Render(panel, down));
    }
    return frames;
}

void RunFrames(benchmark::State& state, const std::vector<Frame>& frames) {
    ce::host::MouseEventRecorder recorder;
    CameraContext context(ots::sim::RealisticCameraPanel());
    // Past the tap stabiliser's collecting, so that every frame is handled in full.
    for (int i = 0; i < 2 * kFramesPerTurn; ++i) {
        context.Handle(frames[static_cast<std::size_t>(i) % frames.size()]);
    }
    recorder.Clear();
    std::size_t next = 0;
    std::size_t sinceClear = 0;
    std::size_t events = 0;
    for (auto _ : state) {
        context.Handle(frames[next]);
        next = next + 1 == frames.size() ? 0 : next + 1;
        if (++sinceClear == kClearEvery) {
            state.PauseTiming();
            events += recorder.Count();
            recorder.Clear();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    events += recorder.Count();
    state.counters["events_per_frame"] =
        benchmark::Counter(static_cast<double>(events) / static_cast<double>(state.iterations()));
}

void BM_StillTouch(benchmark::State& state) {
    RunFrames(state, Frames(1, false));
}
void BM_MovingTouch(benchmark::State& state) {
    RunFrames(state, Frames(1, true));
}
void BM_TwoMovingTouches(benchmark::State& state) {
    RunFrames(state, Frames(2, true));
}

BENCHMARK(BM_StillTouch);
BENCHMARK(BM_MovingTouch);
BENCHMARK(BM_TwoMovingTouches);

}  // namespace

BENCHMARK_MAIN();
