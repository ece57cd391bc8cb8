// The report path allocates nothing: every buffer lives in TOUCH_DATA. Counted by replacing the
// global allocation functions of this test program and arming them around the reports.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <new>
#include <vector>

#include "ce/host/input_sink.h"
#include "touch/image_packet.h"
#include "touch/process_report.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"
#include "touch_device.h"

namespace {
thread_local bool gCounting = false;
thread_local std::size_t gAllocations = 0;

void* CountedAllocation(std::size_t size) {
    if (gCounting) {
        ++gAllocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size) {
    return CountedAllocation(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace touch_test {
namespace {

class AllocationCount {
  public:
    AllocationCount() {
        gAllocations = 0;
        gCounting = true;
    }
    ~AllocationCount() { gCounting = false; }
    std::size_t Count() const { return gAllocations; }
};

std::array<BYTE, 64> ImagePacket(BYTE index) {
    std::array<BYTE, 64> p{};
    p[0] = 0xAA;
    p[2] = 0x01;
    p[3] = 4;  // three codes
    p[4] = index;
    p[5] = 0xFF;  // 128 dark pixels, 8 lit, the rest dark
    p[6] = 0x0F;
    p[7] = 0xFE;
    return p;
}

TEST(ReportPathAllocationTest, CameraFramesAllocateNothing) {
    TouchDevice device = TouchDevice::Camera();
    SetupTapFilter(&device.td().Tap, 500, 4, 1000, 800);
    device.config().Mode = 1;
    ce::host::MouseEventRecorder recorder;
    const std::array<BYTE, 64> first = ImagePacket(0);
    const std::array<BYTE, 64> second = ImagePacket(1);

    AllocationCount allocations;
    for (int frame = 0; frame < 50; ++frame) {
        ProcessReport(first.data(), 64, &device.ctx());
        ProcessReport(second.data(), 64, &device.ctx());
    }
    // Whatever the frames solve to, moving touches go through every stage to mouse_event.
    for (int frame = 0; frame < 100; ++frame) {
        const TouchPoint a = frame < 90 ? Touch(1000 + frame * 37, 2000 + frame * 11) : Lifted();
        RunTouchPipeline(device.ctx(), device.config(), a, Touch(500, 500));
    }
    EXPECT_EQ(allocations.Count(), 0u);
    EXPECT_GT(recorder.Count(), 100u);
}

TEST(ReportPathAllocationTest, CoordinateReportsAllocateNothing) {
    TouchDevice device = TouchDevice::Coordinate();
    ce::host::MouseEventRecorder recorder;
    const std::array<BYTE, 6> touching{0, 0x01, 0x10, 0x00, 0x20, 0x00};
    const std::array<BYTE, 6> released{0, 0x04, 0x10, 0x00, 0x20, 0x00};

    AllocationCount allocations;
    for (BYTE mode = 0; mode < 3; ++mode) {
        device.config().Mode = mode;
        ProcessReport(touching.data(), 6, &device.ctx());
        ProcessReport(released.data(), 6, &device.ctx());
    }
    EXPECT_EQ(allocations.Count(), 0u);
    EXPECT_EQ(recorder.Count(), 7u);  // click, move + click, press + release
}

}  // namespace
}  // namespace touch_test
