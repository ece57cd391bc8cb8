// A digest of everything the camera frame path produces, for telling whether a change to it
// keeps every result to the bit: each injected event and, after every report, the bit
// patterns of the smoothed and tracked points. Two builds that print the same digest injected
// the same events. side_by_side.sh compares the before and after builds with it.
//
// The strokes: a circle of one finger, a circle of two, and seeded random strokes of none, one
// or two fingers with lifts between, on the realistic, mounted and defaults panels, in the
// three touch modes, with smoothing on and off. The platform clock stands still, so that the
// driver's timing decisions are the same in every run.
//
//   bench_event_digest [--strokes N]   (300 random strokes per setting unless told)
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "camera_context.h"
#include "ce/host/clock.h"
#include "ce/host/input_sink.h"

namespace {

// FNV-1a over 64-bit words.
class Digest {
  public:
    void Add(std::uint64_t word) {
        for (int i = 0; i < 8; ++i) {
            hash_ = (hash_ ^ ((word >> (8 * i)) & 0xFF)) * 0x100000001B3ULL;
        }
    }
    void Add(double value) { Add(std::bit_cast<std::uint64_t>(value)); }
    void Add(const SolvedPoint& p) {
        Add(p.x);
        Add(p.y);
        Add(p.size);
        Add(std::uint64_t{p.valid});
    }
    std::uint64_t Value() const { return hash_; }

  private:
    std::uint64_t hash_ = 0xCBF29CE484222325ULL;
};

using Fingers = std::vector<ots::sim::Finger>;

struct Run {
    bench::CameraContext& context;
    const ots::sim::CameraPanel& panel;
    Digest& digest;
    std::size_t frames = 0;

    void Frame(const Fingers& fingers) {
        context.Handle(bench::Render(panel, fingers));
        const OpticalContext& oc = context.Touch().Optical;
        digest.Add(oc.PointA);
        digest.Add(oc.PointB);
        digest.Add(oc.TrackA);
        digest.Add(oc.TrackB);
        ++frames;
    }
    void Lift(int count) {
        for (int i = 0; i < count; ++i) {
            Frame({});
        }
    }
};

void Circles(Run& run, int fingers) {
    for (int i = 0; i < 2 * bench::kFramesPerTurn; ++i) {
        Fingers down;
        for (int f = 0; f < fingers; ++f) {
            down.push_back(bench::OnCircle(260.0 + 300.0 * f, 300.0, 120.0,
                                           i + f * bench::kFramesPerTurn / 2));
        }
        run.Frame(down);
    }
    run.Lift(10);
}

// Straight strokes with a little tremor, of random length and speed, and lifts between.
void RandomStrokes(Run& run, int strokes, std::mt19937& random) {
    const double width = run.panel.screenWidthPx;
    const double height = run.panel.screenHeightPx;
    std::uniform_real_distribution<double> x(-20.0, width + 20.0);  // a little beyond the edges too
    std::uniform_real_distribution<double> y(-20.0, height + 20.0);
    std::uniform_real_distribution<double> size(5.0, 14.0);
    std::uniform_real_distribution<double> tremor(-0.8, 0.8);
    std::uniform_int_distribution<int> count(0, 2);
    std::uniform_int_distribution<int> length(1, 80);
    std::uniform_int_distribution<int> lift(0, 6);
    for (int s = 0; s < strokes; ++s) {
        const int fingers = count(random);
        ots::sim::Finger from[2], to[2];
        for (int f = 0; f < fingers; ++f) {
            from[f] = {x(random), y(random), size(random)};
            to[f] = {x(random), y(random), from[f].diameterMm};
        }
        const int frames = length(random);
        for (int i = 0; i < frames; ++i) {
            const double a = frames == 1 ? 0.0 : static_cast<double>(i) / (frames - 1);
            Fingers down;
            for (int f = 0; f < fingers; ++f) {
                down.push_back({from[f].xPx + a * (to[f].xPx - from[f].xPx) + tremor(random),
                                from[f].yPx + a * (to[f].yPx - from[f].yPx) + tremor(random),
                                from[f].diameterMm});
            }
            run.Frame(down);
        }
        run.Lift(lift(random));
    }
}

}  // namespace

int main(int argc, char** argv) {
    int strokes = 300;
    if (argc == 3 && std::strcmp(argv[1], "--strokes") == 0) {
        strokes = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: bench_event_digest [--strokes N]\n");
        return 2;
    }
    // A platform millisecond lasts a million seconds: the clock stands still.
    const ce::host::ScopedTimeScale stillClock(1e9);
    Digest digest;
    ce::host::MouseEventRecorder recorder;
    std::size_t frames = 0;
    std::size_t events = 0;
    const ots::sim::CameraPanel panels[] = {ots::sim::RealisticCameraPanel(),
                                            ots::sim::MountedCameraPanel(),
                                            ots::sim::DefaultsCameraPanel()};
    std::mt19937 random(20261207);
    for (const ots::sim::CameraPanel& panel : panels) {
        for (std::uint8_t mode = 0; mode <= 2; ++mode) {
            for (const bool smoothing : {true, false}) {
                ots::DriverConfig config = ots::DefaultDriverConfig();
                config.Mode = mode;
                config.Smoothness = smoothing ? config.Smoothness : 0;
                bench::CameraContext context(panel, config);
                Run run{context, panel, digest};
                Circles(run, 1);
                Circles(run, 2);
                RandomStrokes(run, strokes, random);
                frames += run.frames;
                for (const ce::host::MouseEvent& event : recorder.Events()) {
                    digest.Add(std::uint64_t{event.flags} << 32 | event.dx);
                    digest.Add(std::uint64_t{event.dy});
                }
                events += recorder.Count();
                recorder.Clear();
            }
        }
    }
    std::printf("%zu frames, %zu events, digest %016llx\n", frames, events,
                static_cast<unsigned long long>(digest.Value()));
    return 0;
}
