// A camera controller pulled out in every phase of its life, or misbehaving without leaving:
// each ends with nothing left behind (handles, threads, heap blocks counted) and a driver that
// serves the next controller, or this one once it behaves. Then a soak of both generations.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "ce/host/kernel_object.h"
#include "ce/host/usb_host.h"
#include "protocol/control_codes.h"
#include "sim/camera_device.h"
#include "sim/camera_firmware.h"
#include "support/bus.h"
#include "support/scaled_clock.h"

namespace {

using ots::sim::Pacing;
using ots::test::WaitUntil;
constexpr BYTE kImageEndpoint = ots::sim::CameraDevice::kImageEndpoint;
// Holds an answer until the controller is pulled out, however slowly the test thread runs.
constexpr double kSlowAnswerMs = 1.0e7;

// Resources a fault must not leave behind: kernel handles, threads of this process and live
// LocalAlloc blocks. No thread more but the stack's own completion thread, which starts and
// ends on demand; a thread of ours keeps its handle until joined, so a leak shows there too.
struct Counts {
    std::size_t handles, threads;
    std::int64_t blocks;
    bool operator==(const Counts& b) const {
        return handles == b.handles && blocks == b.blocks && threads <= b.threads + 1;
    }
    friend std::ostream& operator<<(std::ostream& out, const Counts& c) {
        return out << "{handles " << c.handles << ", threads " << c.threads << ", blocks "
                   << c.blocks << "}";
    }
};

Counts CountNow() {
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return {ce::host::LiveHandleCount(),
            static_cast<std::size_t>(std::distance(begin(tasks), end(tasks))),
            ce::host::LiveLocalBlockCount()};
}

// The counts once they are back to `expected` (a thread ends shortly after it is joined), or
// after half a minute.
Counts CountsBackTo(const Counts& expected) {
    Counts now = CountNow();
    WaitUntil([&] { return (now = CountNow()) == expected; }, std::chrono::seconds(30));
    return now;
}

// The driver installed on the scaled clock, a camera controller behind a tap whose port the
// test can reach, and a plug on its own thread, so the test can pull the device out in the
// middle of attach.
class FaultTest : public ots::test::IntegrationTest {
  protected:
    void SetUp() override {
        IntegrationTest::SetUp();
        // One whole life first, so that threads the stack keeps for good are in the baseline.
        MakeCamera();
        Plug();
        Unplug();
        MakeCamera();
        baseline_ = CountNow();
    }
    void TearDown() override {
        Unplug();
        IntegrationTest::TearDown();
    }
    // Frames handed over as fast as the driver takes them, unless told otherwise.
    void MakeCamera(Pacing pacing = Pacing::AsFastAsTaken) {
        camera_ = std::make_shared<ots::sim::CameraDevice>(
            ots::sim::RealisticCameraPanel(), nullptr,
            ots::sim::CameraDeviceOptions{.pacing = pacing});
        tap_ = std::make_shared<ots::test::BusTap>(camera_);
    }
    // Returns once the device is on the bus; attach may still run.
    void PlugInBackground() {
        const auto before = ce::host::PluggedUsbDevices().size();
        plugger_ = std::thread([this] { ce::host::PlugUsbDevice(tap_); });
        ASSERT_TRUE(WaitUntil([&] { return ce::host::PluggedUsbDevices().size() > before; }));
    }
    void Plug() {
        PlugInBackground();
        plugger_.join();
    }
    // Unplugs (attach may still run) and waits for the plugging thread.
    void Unplug() {
        for (ce::host::UsbDeviceId id : ce::host::PluggedUsbDevices()) {
            ce::host::UnplugUsbDevice(id);
        }
        if (plugger_.joinable()) {
            plugger_.join();
        }
    }
    bool TapPresses() {
        recorder_.Clear();
        camera_->Tap(400, 300);
        return camera_->Settle(ots::test::kSettleMs) &&
               recorder_.WaitForCount(1, ots::test::kSettleMs);
    }
    // Nothing is left behind, and a fresh camera plugs, opens as "OTS1:" and presses on a tap.
    void ExpectCleanAndNextPlugWorks() {
        EXPECT_EQ(CountsBackTo(baseline_), baseline_);
        MakeCamera();
        Plug();
        EXPECT_EQ(ots::test::GetRecord(IOCTL_GET_DEVICE_ID, 6),
                  (ots::test::Bytes{0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}));
        EXPECT_TRUE(TapPresses()) << "a tap after the fault gave no input";
    }

    ots::test::FastClock fast_;
    ce::host::MouseEventRecorder recorder_;
    Counts baseline_{};
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::shared_ptr<ots::test::BusTap> tap_;
    std::thread plugger_;
};

// What the controller has seen when it is pulled out: the attach pause (0), then inside each
// of the 10 initialisation commands (brackets and the six block reads).
const char* const kStages[] = {"AttachPause",       "OpenCamera0",       "OpenCamera1",
                               "ReadCameraParams0", "ReadCameraParams1", "ReadPanel",
                               "ReadDeviceConfig",  "ReadCalibrationX",  "ReadCalibrationY",
                               "CloseCamera0",      "CloseCamera1"};

class UnplugTest : public FaultTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UnplugTest, DuringAttach) {
    const std::size_t commandsSent = GetParam();
    camera_->Firmware().DelayAnswers(kSlowAnswerMs, std::max<std::size_t>(commandsSent, 1));
    PlugInBackground();
    const auto sent = [this] { return camera_->Firmware().CommandLog().size(); };
    ASSERT_TRUE(WaitUntil([&] {
        return commandsSent > 0 ? sent() >= commandsSent
                                : tap_->port() && tap_->port()->IsPipeOpen(kImageEndpoint);
    }));
    Unplug();
    EXPECT_EQ(sent(), commandsSent) << "pulled out later than meant";
    ExpectCleanAndNextPlugWorks();
}

INSTANTIATE_TEST_SUITE_P(Stages, UnplugTest, ::testing::Range<std::size_t>(0, std::size(kStages)),
                         [](const auto& p) { return kStages[p.param]; });

TEST_F(FaultTest, UnplugWhileReportsStreamAndWhileAControlCallWaits) {
    MakeCamera(Pacing::ReportRate);
    Plug();
    camera_->Drag(100, 100, 700, 500, 20000);
    ASSERT_TRUE(WaitUntil([this] { return camera_->PacketsSent() >= 40; }));
    Unplug();
    ExpectCleanAndNextPlugWorks();

    camera_->Firmware().DelayAnswers(kSlowAnswerMs);
    const std::size_t before = camera_->Firmware().CommandLog().size();
    std::thread call([] {
        ots::test::StreamHandle handle;
        static_cast<void>(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
    });
    ASSERT_TRUE(WaitUntil([&] { return camera_->Firmware().CommandLog().size() > before; }));
    Unplug();
    call.join();
    ExpectCleanAndNextPlugWorks();
}

// How a controller fails its initialisation, and how it is made to behave again.
struct Misbehaviour {
    const char* name;
    void (*start)(ots::sim::CameraDevice&, ots::test::BusTap&);
    void (*stop)(ots::sim::CameraDevice&, ots::test::BusTap&);
    bool reportsResume;  // a reader that saw "not responding" has ended until the next plug
};

const Misbehaviour kMisbehaviours[] = {
    {"StopsAnswering", [](auto&, auto& tap) { tap.silentFromStart = true; },
     [](auto&, auto& tap) { tap.port()->SetResponding(true); }, false},
    {"WrongIndex", [](auto& cam, auto&) { cam.Firmware().EchoWrongIndex(ots::sim::kEveryAnswer); },
     [](auto& cam, auto&) { cam.Firmware().ClearFaults(); }, true},
    {"WrongClass",
     [](auto& cam, auto&) { cam.Firmware().AnswerWithClass(0x20, ots::sim::kEveryAnswer); },
     [](auto& cam, auto&) { cam.Firmware().ClearFaults(); }, true},
};

class MisbehavingController : public FaultTest,
                              public ::testing::WithParamInterface<Misbehaviour> {};

// Attach still finishes and the device is served; re-initialisation fails while the fault
// lasts and succeeds once the controller answers properly; reports resume, or (after "not
// responding" ended the reader) the next plug works.
TEST_P(MisbehavingController, AttachFinishesAndReinitRecovers) {
    const auto reinitialise = [] {
        ots::test::StreamHandle handle;
        return handle.ok() && handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr);
    };
    GetParam().start(*camera_, *tap_);
    Plug();
    ASSERT_TRUE(ots::test::StreamHandle().ok());
    EXPECT_FALSE(reinitialise());
    GetParam().stop(*camera_, *tap_);
    EXPECT_TRUE(reinitialise());
    if (GetParam().reportsResume) {
        EXPECT_TRUE(TapPresses());
    } else {
        Unplug();
        ExpectCleanAndNextPlugWorks();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, MisbehavingController, ::testing::ValuesIn(kMisbehaviours),
                         [](const auto& p) { return p.param.name; });

// A stalled report endpoint is reset; far more reports than the reader takes at once are all
// handled, and none allocates.
TEST_F(FaultTest, StallAndFloodOfReports) {
    Plug();
    ASSERT_TRUE(TapPresses());
    tap_->port()->Stall(kImageEndpoint);
    ASSERT_TRUE(TapPresses()) << "no input after the stall";
    const auto packets = camera_->SentPackets();
    ASSERT_GE(packets.size(), 2u);
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    for (int i = 0; i < 5000; ++i) {
        tap_->port()->SendInterrupt(kImageEndpoint, packets[0]);
        tap_->port()->SendInterrupt(kImageEndpoint, packets[1]);
    }
    ASSERT_TRUE(tap_->port()->WaitIdle(ots::test::kSettleMs)) << "the reader fell behind for good";
    EXPECT_EQ(tap_->port()->PendingReports(kImageEndpoint), 0u);
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations);
}

// Both generations streaming at once for OTS_SOAK_SECONDS of touches (60 unless set; the long
// run sets 3600), frames as fast as the driver takes them, with control calls from another
// thread. Kernel handles, threads and heap blocks are the same at the end as after the first
// stroke; so is resident memory, within an allowance, where no sanitizer holds freed memory.
constexpr double kStrokeMs = 2000.0;

long ResidentKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Without the rig: its recorder and tap are no part of what the soak measures.
class SoakTest : public ots::test::IntegrationTest {
    ots::test::FastClock fast_;
};

TEST_F(SoakTest, BothGenerationsStayFlat) {
    const auto camera = std::make_shared<ots::sim::CameraDevice>(
        ots::sim::RealisticCameraPanel(), nullptr,
        ots::sim::CameraDeviceOptions{.pacing = Pacing::AsFastAsTaken});
    ce::host::ScopedUsbDevice pluggedCamera(camera);
    ots::test::PluggedController coordinate({.pacing = Pacing::AsFastAsTaken});
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
    std::thread control([&] {  // reads and rewrites records on both stream devices
        while (!stop) {
            for (const wchar_t* name : {L"OTS1:", L"OTS2:"}) {
                ots::test::StreamHandle handle(name);
                ots::test::Bytes config(58), click(13);
                if (handle.Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &config)) {
                    calls += 1 + handle.Io(IOCTL_SET_DRIVER_CONFIG, &config, nullptr);
                    calls += handle.Io(IOCTL_GET_MOUSE_UP_DATA, nullptr, &click);
                }
            }
        }
    });
    const char* seconds = std::getenv("OTS_SOAK_SECONDS");
    const int strokes =
        std::max(2, static_cast<int>((seconds ? std::atof(seconds) : 60.0) * 1000.0 / kStrokeMs));
    long startKb = 0;  // taken once the heaps have grown to their working size
    for (int i = 1; i < strokes && !HasFatalFailure(); ++i) {
        stroke(i);
        startKb = i == std::max(1, strokes / 10) ? ResidentKb() : startKb;
    }
    stop = true;
    control.join();
    const Counts end = CountsBackTo(start);
    const long endKb = ResidentKb();
    std::printf(
        "soak: %d strokes of %.0f ms, %zu camera packets, %ld good control calls; %s -> "
        "%s; resident %ld -> %ld kB\n",
        strokes, kStrokeMs, camera->PacketsSent(), calls.load(),
        ::testing::PrintToString(start).c_str(), ::testing::PrintToString(end).c_str(), startKb,
        endKb);
    EXPECT_EQ(end, start);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(endKb - startKb, 2048) << "resident kB grew";
#endif
}

}  // namespace
