// Both generations streaming at once for OTS_SOAK_SECONDS of touches (60 unless set; the long
// run sets 3600), frames as fast as the driver takes them, with control calls from another
// thread. Kernel handles, threads and heap blocks are the same at the end as after the first
// stroke; so is resident memory, within an allowance, where no sanitizer holds freed memory.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "fault_rig.h"
#include "protocol/control_codes.h"

namespace faults {
namespace {

constexpr double kStrokeMs = 2000.0;
constexpr long kRssAllowanceKb = 2048;

long ResidentKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double SoakSeconds() {
    const char* text = std::getenv("OTS_SOAK_SECONDS");
    return text != nullptr ? std::atof(text) : 60.0;
}

// Reads and rewrites records on both stream devices until told to stop.
void ControlCalls(const std::atomic<bool>& stop, std::atomic<long>& calls) {
    while (!stop) {
        for (const wchar_t* name : {L"OTS1:", L"OTS2:"}) {
            ots::test::StreamHandle handle(name);
            if (!handle.ok()) {
                continue;
            }
            ots::test::Bytes config(58), click(13);
            handle.Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &config);
            handle.Io(IOCTL_SET_DRIVER_CONFIG, &config, nullptr);
            handle.Io(IOCTL_GET_MOUSE_UP_DATA, nullptr, &click);
            calls += 3;
        }
    }
}

class SoakTest : public ots::test::IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{kTimeScale};
};

TEST_F(SoakTest, BothGenerationsStayFlat) {
    ots::sim::CameraDeviceOptions cameraOptions;
    cameraOptions.pacing = ots::sim::Pacing::AsFastAsTaken;
    auto camera = std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(),
                                                           nullptr, cameraOptions);
    ce::host::ScopedUsbDevice pluggedCamera(camera);
    ots::sim::CoordinateControllerOptions coordinateOptions;
    coordinateOptions.pacing = ots::sim::Pacing::AsFastAsTaken;
    ots::test::PluggedController coordinate(coordinateOptions);

    const auto stroke = [&](int i) {
        const double y = 100.0 + (i % 8) * 50.0;
        camera->Drag(100, y, 700, 500 - y / 2, kStrokeMs);
        coordinate.panel().Drag(700, y, 100, y / 2, kStrokeMs);
        ASSERT_TRUE(camera->Settle(ots::test::kSettleMs));
        ASSERT_TRUE(coordinate.panel().Settle(ots::test::kSettleMs));
    };
    stroke(0);
    const Counts start = CountNow();
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::thread control(ControlCalls, std::cref(stop), std::ref(calls));
    // Resident memory is taken once the heaps have grown to their working size.
    const int strokes = std::max(2, static_cast<int>(SoakSeconds() * 1000.0 / kStrokeMs));
    long startKb = 0;
    for (int i = 1; i < strokes && !HasFatalFailure(); ++i) {
        stroke(i);
        startKb = i == std::max(1, strokes / 10) ? ResidentKb() : startKb;
    }
    stop = true;
    control.join();
    const Counts end = WaitCounts(start);
    const long endKb = ResidentKb();
    std::printf(
        "soak: %d strokes of %.0f ms, %zu camera packets, %ld control calls; %s -> %s; "
        "resident %ld -> %ld kB\n",
        strokes, kStrokeMs, camera->PacketsSent(), calls.load(),
        ::testing::PrintToString(start).c_str(), ::testing::PrintToString(end).c_str(), startKb,
        endKb);
    EXPECT_EQ(end, start);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(endKb - startKb, kRssAllowanceKb);
#endif
}

}  // namespace
}  // namespace faults
