// Nothing is allocated per report on the camera path: while two fingers move over the panel,
// every heap request of the reader thread (the thread that injects the mouse input) and every
// LocalAlloc is counted.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/camera_bus.h"
#include "ce/host/heap_stats.h"
#include "support/alloc_counter.h"

namespace camera_e2e {
using namespace ots::test;
namespace {

class CameraReportAllocationTest : public CameraBusTest {
  protected:
    // Marks the thread that injects, which is the reader thread.
    class ReaderMark {
      public:
        ReaderMark()
            : id_(ce::host::AddInputSink(
                  [](const ce::host::MouseEvent&) { WatchThisThread(); })) {}
        ~ReaderMark() { ce::host::RemoveInputSink(id_); }
        ReaderMark(const ReaderMark&) = delete;
        ReaderMark& operator=(const ReaderMark&) = delete;

      private:
        int id_;
    };
};

TEST_F(CameraReportAllocationTest, TwoMovingFingersAllocateNothingOnTheReaderThread) {
    const ReaderMark mark;
    Plug(MakeCamera());
    // A first touch, held until it is injected, marks the reader thread.
    camera().TouchDown(200, 200);
    camera().Hold(500);
    Settle();
    ASSERT_GT(recorder_.Count(), 0u);

    const std::size_t before = WatchedAllocations();
    const std::uint64_t localAllocs = ce::host::LocalAllocCount();
    const std::size_t packetsBefore = camera().PacketsSent();
    recorder_.Clear();
    ArmWatch(true);
    // The tap filter, the spline with many steps per frame, two tracked fingers, a lift.
    camera().TouchDown(600, 400, 1);
    camera().MoveTo(500, 300, 400, 1);
    camera().MoveTo(300, 350, 600);
    camera().TouchUp(1);
    camera().MoveTo(100, 500, 300);
    camera().TouchUp();
    Settle();
    ArmWatch(false);

    EXPECT_GT(camera().PacketsSent() - packetsBefore, 2u * 130u) << "every frame was sent";
    EXPECT_GT(recorder_.Count(), 130u) << "the frames were handled";
    EXPECT_EQ(WatchedAllocations() - before, 0u)
        << "heap requests on the reader thread"
        << (CountsMalloc() ? "" : " (operator new only)");
    EXPECT_EQ(ce::host::LocalAllocCount(), localAllocs) << "LocalAlloc calls while reading";
}

}  // namespace
}  // namespace camera_e2e
