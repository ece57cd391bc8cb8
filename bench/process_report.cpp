// ProcessReport per camera frame (its two image packets): frame assembly, the position
// computation, the tap stabiliser, the spline and the mouse modes with the driver's default
// settings, for a still touch, a moving touch and two moving touches on the realistic panel.
// mouse_event goes to a MouseEventRecorder, cleared outside the timing.
//
//   bench_process_report --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <vector>

#include "camera_context.h"
#include "ce/host/input_sink.h"

namespace {

using bench::CameraContext;
using bench::Frame;
using bench::kFramesPerTurn;
using bench::OnCircle;
using bench::Render;

constexpr std::size_t kClearEvery = 256;  // frames between clearings of the recorder

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
