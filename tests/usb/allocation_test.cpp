// A client that keeps a ring of transfers going costs the stack no allocation once the ring is
// set up: the report path of a driver allocates nothing per report. Every operator new made
// on the client's thread during the client's calls is counted here.
#include <array>
#include <cstdlib>
#include <new>

#include "usb/usb_fixture.h"

// The sanitizers bring their own allocator and match every free to its allocation; the count
// is taken in the plain build only.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define USB_TEST_COUNTS_ALLOCATIONS 0
#else
#define USB_TEST_COUNTS_ALLOCATIONS 1
#endif

namespace {

thread_local bool tCounting = false;
thread_local std::size_t tAllocations = 0;

[[maybe_unused]] void* CountedAllocate(std::size_t size) {
    if (tCounting) {
        ++tAllocations;
    }
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

#if USB_TEST_COUNTS_ALLOCATIONS
void* operator new(std::size_t size) {
    return CountedAllocate(size);
}
void* operator new[](std::size_t size) {
    return CountedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAllocate(size);
    } catch (...) {
        return nullptr;
    }
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
#endif

namespace usbtest {
namespace {

class CountedCalls {
  public:
    CountedCalls() {
        tAllocations = 0;
        tCounting = true;
    }
    ~CountedCalls() { tCounting = false; }
    CountedCalls(const CountedCalls&) = delete;
    CountedCalls& operator=(const CountedCalls&) = delete;
};

TEST_F(AttachedDeviceTest, RingOfTransfersRunsWithoutAllocating) {
    if (!USB_TEST_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are counted in the build without sanitizers";
    }
    CompletionLog log;
    std::array<CompletionLog::Slot, 2> slots = {{{&log, 0}, {&log, 1}}};
    std::array<std::array<BYTE, kReportSize>, 2> buffers{};
    std::array<USB_TRANSFER, 2> ring{};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        ring[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
    }

    std::size_t allocations = 0;
    constexpr int kWarmUp = 20;
    constexpr int kReports = 200;
    for (int n = 0; n < kWarmUp + kReports; ++n) {
        const std::size_t i = static_cast<std::size_t>(n) % ring.size();
        ASSERT_TRUE(Send({static_cast<BYTE>(n), 1, 2, 3, 4, 5}));  // the device's side
        DWORD bytes = 0;
        DWORD error = 0;
        {
            const CountedCalls counted;
            ASSERT_TRUE(funcs_->lpIsTransferComplete(ring[i]));
            ASSERT_TRUE(funcs_->lpGetTransferStatus(ring[i], &bytes, &error));
            ASSERT_TRUE(funcs_->lpCloseTransfer(ring[i]));
            ring[i] = IssueIn(buffers[i].data(), kReportSize, &slots[i]);
            if (n >= kWarmUp) {
                allocations += tAllocations;
            }
        }
        ASSERT_NE(ring[i], nullptr);
        ASSERT_EQ(error, USB_NO_ERROR);
        ASSERT_EQ(buffers[i][0], static_cast<BYTE>(n));
    }

    EXPECT_EQ(allocations, 0u);
    ASSERT_TRUE(log.WaitFor(static_cast<std::size_t>(kWarmUp + kReports)));
    for (auto transfer : ring) {
        funcs_->lpCloseTransfer(transfer);
    }
}

}  // namespace
}  // namespace usbtest
