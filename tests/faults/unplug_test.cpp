// A camera controller pulled out in every phase of its life: in the attach pause, during each
// initialisation command, while reports stream and while a control call waits on the
// controller. Each ends with nothing left behind (handles, threads, heap blocks counted) and a
// next controller that plugs and works.
#include <algorithm>
#include <thread>

#include "fault_rig.h"
#include "protocol/control_codes.h"

namespace faults {
namespace {

// Holds an answer until the controller is pulled out, however slowly the test thread runs.
constexpr double kSlowAnswerMs = 1.0e7;

// What the controller has seen when it is pulled out: the attach pause (0), then inside each
// of the 10 initialisation commands (brackets and the six block reads).
const char* const kStages[] = {"AttachPause",       "OpenCamera0",       "OpenCamera1",
                               "ReadCameraParams0", "ReadCameraParams1", "ReadPanel",
                               "ReadDeviceConfig",  "ReadCalibrationX",  "ReadCalibrationY",
                               "CloseCamera0",      "CloseCamera1"};

class UnplugTest : public FaultTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UnplugTest, DuringAttach) {
    const std::size_t commandsSent = GetParam();
    camera().Firmware().DelayAnswers(kSlowAnswerMs, std::max<std::size_t>(commandsSent, 1));
    PlugInBackground();
    const auto sent = [this] { return camera().Firmware().CommandLog().size(); };
    ASSERT_TRUE(WaitFor([&] {
        return commandsSent > 0
                   ? sent() >= commandsSent
                   : tap().port() &&
                         tap().port()->IsPipeOpen(ots::sim::CameraDevice::kImageEndpoint);
    }));
    Unplug();
    EXPECT_EQ(sent(), commandsSent) << "pulled out later than meant";
    ExpectCleanAndNextPlugWorks();
}

INSTANTIATE_TEST_SUITE_P(Stages, UnplugTest, ::testing::Range<std::size_t>(0, std::size(kStages)),
                         [](const auto& p) { return kStages[p.param]; });

TEST_F(FaultTest, UnplugWhileReportsStream) {
    MakeCamera(ots::sim::Pacing::ReportRate);
    Plug();
    camera().Drag(100, 100, 700, 500, 20000);
    ASSERT_TRUE(WaitFor([this] { return camera().PacketsSent() >= 40; }));
    Unplug();
    ExpectCleanAndNextPlugWorks();
}

TEST_F(FaultTest, UnplugWhileControlCallWaitsOnController) {
    Plug();
    camera().Firmware().DelayAnswers(kSlowAnswerMs);
    const std::size_t before = camera().Firmware().CommandLog().size();
    std::thread call([] {
        ots::test::StreamHandle handle;
        if (handle.ok()) {
            static_cast<void>(handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr));
        }
    });
    ASSERT_TRUE(WaitFor([&] { return camera().Firmware().CommandLog().size() > before; }));
    Unplug();
    call.join();
    ExpectCleanAndNextPlugWorks();
}

}  // namespace
}  // namespace faults
