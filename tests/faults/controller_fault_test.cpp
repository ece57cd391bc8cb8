// Controllers that misbehave without leaving: a stalled report endpoint, a controller that
// stops answering, answers with the wrong index or class, and a flood of reports. Each ends
// in a driver that still serves the device and recovers once the controller behaves.
#include <gtest/gtest.h>

#include "ce/host/heap_stats.h"
#include "fault_rig.h"
#include "protocol/control_codes.h"
#include "sim/camera_firmware.h"

namespace faults {
namespace {

constexpr BYTE kImageEndpoint = ots::sim::CameraDevice::kImageEndpoint;

BOOL Reinitialise() {
    ots::test::StreamHandle handle;
    return handle.ok() && handle.Io(IOCTL_REINIT_OPTCORE, nullptr, nullptr);
}

TEST_F(FaultTest, StalledReportEndpointIsResetAndReadingGoesOn) {
    Plug();
    ASSERT_TRUE(TapPresses());
    tap().port()->Stall(kImageEndpoint);
    EXPECT_TRUE(TapPresses()) << "no input after the stall";
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
    {"WrongIndex",
     [](auto& camera, auto&) { camera.Firmware().EchoWrongIndex(ots::sim::kEveryAnswer); },
     [](auto& camera, auto&) { camera.Firmware().ClearFaults(); }, true},
    {"WrongClass",
     [](auto& camera, auto&) { camera.Firmware().AnswerWithClass(0x20, ots::sim::kEveryAnswer); },
     [](auto& camera, auto&) { camera.Firmware().ClearFaults(); }, true},
};

class MisbehavingController : public FaultTest,
                              public ::testing::WithParamInterface<Misbehaviour> {};

// Attach still finishes and the device is served; re-initialisation fails while the fault
// lasts and succeeds once the controller answers properly; reports resume, or (after "not
// responding" ended the reader) the next plug works.
TEST_P(MisbehavingController, AttachFinishesAndReinitRecovers) {
    GetParam().start(camera(), tap());
    Plug();
    ASSERT_TRUE(ots::test::StreamHandle().ok());
    EXPECT_FALSE(Reinitialise());
    GetParam().stop(camera(), tap());
    EXPECT_TRUE(Reinitialise());
    if (GetParam().reportsResume) {
        EXPECT_TRUE(TapPresses());
    } else {
        Unplug();
        ExpectCleanAndNextPlugWorks();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, MisbehavingController, ::testing::ValuesIn(kMisbehaviours),
                         [](const auto& p) { return p.param.name; });

// Far more reports than the reader takes at once: every one is handled and none allocates.
TEST_F(FaultTest, ReportFloodIsTakenWithoutAllocating) {
    Plug();
    camera().TouchDown(300, 200);
    camera().TouchUp();
    ASSERT_TRUE(camera().Settle(ots::test::kSettleMs));
    const auto packets = camera().SentPackets();
    ASSERT_GE(packets.size(), 2u);
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    for (int i = 0; i < 5000; ++i) {
        tap().port()->SendInterrupt(kImageEndpoint, packets[0]);
        tap().port()->SendInterrupt(kImageEndpoint, packets[1]);
    }
    ASSERT_TRUE(tap().port()->WaitIdle(ots::test::kSettleMs)) << "the reader fell behind for good";
    EXPECT_EQ(tap().port()->PendingReports(kImageEndpoint), 0u);
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations);
}

}  // namespace
}  // namespace faults
