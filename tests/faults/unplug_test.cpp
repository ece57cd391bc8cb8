// A camera controller pulled out in every phase of its life: in the attach pause, during each
// initialisation command, while reports stream and while a control call waits on the
// controller. Each ends with nothing left behind (handles, threads, heap blocks counted) and a
// next controller that plugs and works.
#include <thread>

#include "fault_rig.h"
#include "protocol/control_codes.h"

namespace faults {
namespace {

constexpr std::size_t kAttachCommands = 10;  // brackets and the six block reads
constexpr double kSlowAnswerMs = 10000.0;    // holds each command long enough to unplug in it

struct Stage {
    const char* name;
    std::size_t commandsSent;  // what the controller has seen when it is pulled out
};

class UnplugTest : public FaultTest, public ::testing::WithParamInterface<Stage> {};

std::string StageName(const ::testing::TestParamInfo<Stage>& info) {
    return info.param.name;
}

// The attach pause and each initialisation command: the plug runs on its own thread and the
// device goes while the driver waits before, or inside, the numbered command.
TEST_P(UnplugTest, DuringAttach) {
    const Stage stage = GetParam();
    camera().Firmware().DelayAnswers(kSlowAnswerMs);
    PlugInBackground();
    const auto sent = [this] { return camera().Firmware().CommandLog().size(); };
    if (stage.commandsSent == 0) {
        ASSERT_TRUE(WaitFor([this] {
            return tap().port() && tap().port()->IsPipeOpen(ots::sim::CameraDevice::kImageEndpoint);
        }));
    } else {
        ASSERT_TRUE(WaitFor([&] { return sent() >= stage.commandsSent; }));
    }
    Unplug();
    EXPECT_EQ(sent(), stage.commandsSent) << "pulled out later than meant";
    EXPECT_EQ(WaitCounts(baseline_), baseline_);
    ExpectNextPlugWorks();
}

std::vector<Stage> AttachStages() {
    std::vector<Stage> stages{{"AttachPause", 0}};
    static const char* names[kAttachCommands] = {
        "OpenCamera0",  "OpenCamera1",      "ReadCameraParams0", "ReadCameraParams1",
        "ReadPanel",    "ReadDeviceConfig", "ReadCalibrationX",  "ReadCalibrationY",
        "CloseCamera0", "CloseCamera1"};
    for (std::size_t i = 0; i < kAttachCommands; ++i) {
        stages.push_back({names[i], i + 1});
    }
    return stages;
}

INSTANTIATE_TEST_SUITE_P(Stages, UnplugTest, ::testing::ValuesIn(AttachStages()), StageName);

TEST_F(FaultTest, UnplugWhileReportsStream) {
    MakeCamera(ots::sim::Pacing::ReportRate);
    Plug();
    camera().Drag(100, 100, 700, 500, 20000);
    ASSERT_TRUE(WaitFor([this] { return camera().PacketsSent() >= 40; }));
    Unplug();
    EXPECT_EQ(WaitCounts(baseline_), baseline_);
    ExpectNextPlugWorks();
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
    EXPECT_EQ(WaitCounts(baseline_), baseline_);
    ExpectNextPlugWorks();
}

}  // namespace
}  // namespace faults
