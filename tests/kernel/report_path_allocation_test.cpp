// The driver's reader thread waits, signals and logs on every report; none of that may
// allocate. Counted through the global operator new, which every container and string of the
// stand-in goes through.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ce/debug.h"
#include "ce/host/debug_sink.h"
#include "ce/host/heap_stats.h"
#include "ce/kernel.h"

namespace {
std::atomic<long> gNewCalls{0};
}  // namespace

void* operator new(std::size_t size) {
    ++gNewCalls;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

// Counts lines without storing them, so the sink itself allocates nothing.
class CountingSink {
  public:
    CountingSink()
        : id_(ce::host::AddDebugSink(
              [this](ce::host::DebugChannel, const std::string&) { ++lines; })) {}
    ~CountingSink() { ce::host::RemoveDebugSink(id_); }
    CountingSink(const CountingSink&) = delete;
    CountingSink& operator=(const CountingSink&) = delete;
    int lines = 0;

  private:
    int id_;
};

void LogLikeTheTransport() {
    NKDbgPrintfW(L"<common><usbclient><GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n",
                 64, 0x101u);
    NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>%s:WAIT_TIMEOUT on hT:0x%x\n", L"OUT",
                 0x4321u);
}

TEST(ReportPathAllocation, SignalWaitAndTickAllocateNothing) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const long before = gNewCalls;
    const std::uint64_t localBefore = ce::host::LocalAllocCount();
    for (int report = 0; report < 100; ++report) {
        SetEvent(event);
        EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
        (void)GetTickCount();
        SetLastError(0);
    }
    EXPECT_EQ(gNewCalls - before, 0);
    EXPECT_EQ(ce::host::LocalAllocCount(), localBefore);
    CloseHandle(event);
}

TEST(ReportPathAllocation, ShortDebugLinesAllocateNothingOnceTheThreadHasPrinted) {
    CountingSink sink;
    LogLikeTheTransport();  // the thread's line buffer grows once
    const long before = gNewCalls;
    for (int report = 0; report < 100; ++report) {
        LogLikeTheTransport();
    }
    EXPECT_EQ(gNewCalls - before, 0);
    EXPECT_EQ(sink.lines, 202);
}

TEST(ReportPathAllocation, CountingSeesAllocationsAtAll) {
    // Guards the two tests above against a counter that never counts.
    const long before = gNewCalls;
    const std::string text(100, 'x');
    EXPECT_GE(gNewCalls - before, 1);
    EXPECT_EQ(text.size(), 100u);
}

}  // namespace
