// Handles, events, threads, critical sections, the local heap and the scaled
// clock, as the driver's threads use them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "ce/kernel.h"
#include "support/scaled_clock.h"

namespace {

using namespace std::chrono_literals;
using ots::test::FastClock;

class CountingObject : public ce::host::KernelObject {
  public:
    explicit CountingObject(BOOL closeResult = TRUE) : closeResult_(closeResult) {}
    BOOL OnClose() override {
        ++closes;
        return closeResult_;
    }
    std::atomic<int> closes{0};

  private:
    BOOL closeResult_;
};

TEST(HandleTable, ClosesAnObjectOnceWithItsLastHandleAndNeverReusesAHandle) {
    auto object = std::make_shared<CountingObject>();
    const std::size_t live = ce::host::LiveHandleCount();
    const HANDLE first = ce::host::InsertHandle(object);
    const HANDLE second = ce::host::InsertHandle(object);
    EXPECT_EQ(ce::host::LookupHandleAs<CountingObject>(second), object);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(object->closes, 0);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(object->closes, 1);
    EXPECT_EQ(object.use_count(), 1) << "the table keeps no reference";
    EXPECT_FALSE(CloseHandle(ce::host::InsertHandle(std::make_shared<CountingObject>(FALSE))))
        << "OnClose's result";
    EXPECT_EQ(ce::host::InsertHandle(nullptr), nullptr);
    for (HANDLE bogus :
         {second, HANDLE{nullptr}, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x7FFFFFF0)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bogus));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(object->closes, 1);
    std::set<HANDLE> seen{first, second};  // a lock left out is the thread sanitizer's
    for (int i = 0; i < 100; ++i) {
        const HANDLE h = ce::host::InsertHandle(std::make_shared<CountingObject>());
        EXPECT_TRUE(seen.insert(h).second && CloseHandle(h)) << "handle given out twice: " << h;
    }
    EXPECT_EQ(ce::host::LiveHandleCount(), live);
}

// Each waits once on the handle; the results (the last error for a failed wait), sorted.
std::vector<DWORD> WaitInThreads(HANDLE handle, int count, DWORD timeoutMs,
                                 const std::function<void()>& meanwhile) {
    std::vector<std::future<DWORD>> waits;
    for (int i = 0; i < count; ++i) {
        waits.push_back(std::async(std::launch::async, [=] {
            const DWORD result = WaitForSingleObject(handle, timeoutMs);
            return result == WAIT_FAILED ? GetLastError() : result;
        }));
    }
    meanwhile();
    std::vector<DWORD> results;
    for (std::future<DWORD>& wait : waits) {
        results.push_back(wait.get());
    }
    std::ranges::sort(results);
    return results;
}

TEST(Event, AutoResetReleasesOneWaiterManualResetAllAndClosingWakesEveryWaiter) {
    FastClock fast;
    const HANDLE autoReset = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitInThreads(autoReset, 2, 3000, [&] { SetEvent(autoReset); }),
              (std::vector<DWORD>{WAIT_OBJECT_0, WAIT_TIMEOUT}));
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT) << "the release took the signal";
    const HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, L"same name");
    EXPECT_EQ(WaitInThreads(manual, 3, 3000, [&] { SetEvent(manual); }),
              std::vector<DWORD>(3, WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    const HANDLE initiallySet = CreateEventW(nullptr, FALSE, TRUE, L"same name");
    EXPECT_NE(initiallySet, manual) << "every event is its own";
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitInThreads(manual, 2, 10000, [&] { CloseHandle(manual); }),
              std::vector<DWORD>(2, ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(manual));
    EXPECT_FALSE(ResetEvent(manual));
    const HANDLE stream = ce::host::InsertHandle(std::make_shared<CountingObject>());
    EXPECT_EQ(WaitForSingleObject(stream, 0), WAIT_FAILED) << "not waitable";
    EXPECT_FALSE(SetEvent(stream));
    for (HANDLE h : {autoReset, initiallySet, stream}) {
        CloseHandle(h);
    }
}

DWORD RunCallable(LPVOID parameter) {
    return (*static_cast<std::function<DWORD()>*>(parameter))();
}

TEST(Thread, IsSignalledWhenItEndsKeepsItsExitCodeAndPriorityAndOutlivesItsHandle) {
    const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD seenId = 0;
    DWORD seenError = 0;  // the last error is per thread: this one starts without
    int seenPriority = -1;
    std::function<DWORD()> body = [&] {
        WaitForSingleObject(go, INFINITE);
        seenError = GetLastError();
        seenId = GetCurrentThreadId();
        seenPriority = GetThreadPriority(GetCurrentThread());
        return DWORD{42};
    };
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, RunCallable, &body, 0, &id);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode) && exitCode == STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_LOWEST));
    for (int priority : {-1, 8, THREAD_PRIORITY_ERROR_RETURN}) {
        EXPECT_FALSE(SetThreadPriority(thread, priority)) << priority;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    SetLastError(ERROR_ACCESS_DENIED);
    SetEvent(go);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode) && exitCode == 42u);
    EXPECT_EQ(std::tuple(seenId, seenPriority, seenError),
              std::tuple(id, THREAD_PRIORITY_LOWEST, DWORD{ERROR_SUCCESS}));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << "the last error is per thread";
    ASSERT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL) << "per thread";

    std::atomic<bool> ran{false};  // closing the handle does not stop the thread
    std::function<DWORD()> later = [&] {
        ran = true;
        return DWORD{0};
    };
    ASSERT_TRUE(CloseHandle(CreateThread(nullptr, 0, RunCallable, &later, 0, nullptr)));
    EXPECT_TRUE(ots::test::WaitUntil([&] { return ran.load(); }));
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateThread(nullptr, 0, RunCallable, &later, CREATE_SUSPENDED, nullptr), nullptr);
    CloseHandle(go);
}

// A section that did not exclude at all would let the other thread in during the Sleep.
TEST(CriticalSection, IsReentrantAndExcludesOthersUntilTheOwnersLastLeave) {
    FastClock fast;
    CRITICAL_SECTION section{};
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    std::thread([&] { LeaveCriticalSection(&section); }).join();  // not the owner: ignored
    std::atomic<bool> otherEntered{false};
    std::thread other([&] {
        EnterCriticalSection(&section);
        otherEntered = true;
        LeaveCriticalSection(&section);
    });
    LeaveCriticalSection(&section);
    Sleep(2000);
    EXPECT_FALSE(otherEntered) << "entered while the owner still held it once";
    LeaveCriticalSection(&section);
    other.join();
    DeleteCriticalSection(&section);
}

TEST(LocalHeap, CountsEveryCallZeroesLptrBlocksAndRefusesWhatItCannotGive) {
    const std::uint64_t calls = ce::host::LocalAllocCount();
    const std::int64_t live = ce::host::LiveLocalBlockCount();
    auto* dirty = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, 256));
    std::fill_n(dirty, 256, 0xAB);
    LocalFree(dirty);
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 256));
    EXPECT_TRUE(std::all_of(block, block + 256, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), live + 1);
    EXPECT_EQ(LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LocalAlloc(LPTR, std::size_t{0xFFFFFFFFu} + 1), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(ce::host::LocalAllocCount(), calls + 4);
    EXPECT_EQ(ce::host::LiveLocalBlockCount(), live);
}

TEST(SafeCopy, CopiesOnlyValidRangesAsIfThroughABuffer) {
    std::array<BYTE, 8> source{1, 2, 3, 4, 5, 6, 7, 8};
    std::array<BYTE, 8> target{};
    auto* nearTheEnd = reinterpret_cast<void*>(UINTPTR_MAX - 3);  // never dereferenced
    EXPECT_FALSE(CeSafeCopyMemory(nullptr, source.data(), 8) ||
                 CeSafeCopyMemory(target.data(), nullptr, 0) ||
                 CeSafeCopyMemory(target.data(), nearTheEnd, 5) ||
                 CeSafeCopyMemory(nearTheEnd, source.data(), 5));
    EXPECT_TRUE(CeSafeCopyMemory(target.data(), source.data(), 5));
    EXPECT_EQ(target, (std::array<BYTE, 8>{1, 2, 3, 4, 5, 0, 0, 0}));
    EXPECT_TRUE(CeSafeCopyMemory(source.data() + 2, source.data(), 4));
    EXPECT_EQ(source, (std::array<BYTE, 8>{1, 2, 1, 2, 3, 4, 7, 8}));
}

TEST(Clock, ScaleChangesRealDurationsButNotPlatformTimeSoFar) {
    ce::host::ScopedTimeScale outer(0.5);
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        ce::host::SetTimeScale(bad);
        EXPECT_EQ(ce::host::GetTimeScale(), 0.5) << bad;
    }
    EXPECT_EQ(ce::host::ToRealDuration(100), 50ms);
    {
        ce::host::ScopedTimeScale inner(2.0);
        EXPECT_EQ(ce::host::ToRealDuration(-5), 0ns);
        EXPECT_GT(ce::host::ToRealDuration(1e300), 0ns) << "no overflow";
        // Let real time pass since the last anchor: re-reading it at the new scale would
        // jump by about 100 times it, whatever the process's age.
        std::this_thread::sleep_for(20ms);
        const double before = ce::host::PlatformNowMs();
        ce::host::SetTimeScale(0.01);
        EXPECT_LT(ce::host::PlatformNowMs() - before, 500.0);
    }
    EXPECT_EQ(ce::host::GetTimeScale(), 0.5);
    // Sleeps and timed waits pass platform time, which the tick count shows.
    FastClock fast;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const double platformStart = ce::host::PlatformNowMs();
    Sleep(500);
    EXPECT_EQ(WaitForSingleObject(event, 500), WAIT_TIMEOUT);
    EXPECT_GE(static_cast<double>(GetTickCount()), std::floor(platformStart) + 1000);
    CloseHandle(event);
}

}  // namespace
