// Nothing is allocated per report: every heap request made on the reader thread while reports
// flow is counted here, through the local heap's counter and through this program's own global
// operator new (and, without a sanitizer, malloc).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "integration_support.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define OTS_COUNT_MALLOC 1
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);
#endif

namespace {

// Set on the thread that injects mouse input, which is the reader thread.
thread_local bool tOnReaderThread = false;
std::atomic<bool> gCounting{false};
std::atomic<std::size_t> gReaderAllocations{0};

void CountAllocation() {
    if (tOnReaderThread && gCounting.load(std::memory_order_relaxed)) {
        gReaderAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

// The allocation behind operator new, not counted a second time as a malloc.
void* RawMalloc(std::size_t size) {
#ifdef OTS_COUNT_MALLOC
    return __libc_malloc(size);
#else
    return std::malloc(size);
#endif
}

void* Allocate(std::size_t size) {
    CountAllocation();
    if (void* p = RawMalloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    CountAllocation();
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded != 0 ? rounded : alignment)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
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
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#ifdef OTS_COUNT_MALLOC
// malloc itself, for C code and libraries that do not go through operator new. The sanitizers
// bring their own allocator, so this is left out under them.
extern "C" void* malloc(std::size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}
#endif

namespace it {
namespace {

constexpr std::size_t kReports = 200;

class ScopedSink {
  public:
    explicit ScopedSink(ce::host::InputSink sink) : id_(ce::host::AddInputSink(std::move(sink))) {}
    ~ScopedSink() { ce::host::RemoveInputSink(id_); }
    ScopedSink(const ScopedSink&) = delete;
    ScopedSink& operator=(const ScopedSink&) = delete;

  private:
    int id_;
};

class ReportPathAllocationTest : public IntegrationTest {
  protected:
    ce::host::ScopedTimeScale fast_{0.01};
};

TEST_F(ReportPathAllocationTest, NoAllocationPerReportAfterAttach) {
    std::atomic<std::size_t> events{0};
    const ScopedSink sink([&events](const ce::host::MouseEvent&) {
        tOnReaderThread = true;
        events.fetch_add(1);
    });
    PluggedController controller;
    CoordinateController& panel = controller.panel();
    panel.SetPacing(ots::sim::Pacing::AsFastAsTaken);

    // The first report marks the reader thread; the ones after it are counted.
    panel.TouchDown(100, 100);
    ASSERT_TRUE(panel.Settle(kSettleMs));
    ASSERT_EQ(events.load(), 1u);

    const std::uint64_t localAllocs = ce::host::LocalAllocCount();
    gCounting = true;
    panel.MoveTo(700, 500, static_cast<double>(kReports) * 10.0);  // one report per 10 ms
    ASSERT_TRUE(panel.Settle(kSettleMs));
    gCounting = false;

    const std::size_t sent = panel.ReportsSent();
    EXPECT_GE(events.load(), kReports) << "every report was handled";
    EXPECT_GE(sent, kReports + 1);
    EXPECT_EQ(gReaderAllocations.load(), 0u) << "heap requests on the reader thread";
    EXPECT_EQ(ce::host::LocalAllocCount(), localAllocs) << "LocalAlloc calls while reading";
}

}  // namespace
}  // namespace it
