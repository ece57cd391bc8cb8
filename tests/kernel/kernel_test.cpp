// Handles, events, threads, critical sections, the local heap, the scaled clock and the debug
// output (the Windows rules for string and character widths and integer sizes, as UTF-8, and
// where the lines go), as the driver's threads use them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ce/debug.h"
#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/heap_stats.h"
#include "ce/host/kernel_object.h"
#include "ce/kernel.h"
#include "support/alloc_counter.h"
#include "support/golden.h"
#include "support/host_process.h"
#include "support/scaled_clock.h"

namespace {

using namespace std::chrono_literals;
using ce::host::DebugChannel;
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

// Long lines by their length and end; a closing '\r' made visible.
std::string Shown(std::string line) {
    if (line.size() > 100) {
        return std::to_string(line.size()) + " chars ending " + line.substr(line.size() - 4);
    }
    if (!line.empty() && line.back() == '\r') {
        line.replace(line.size() - 1, 1, "\\r");
    }
    return line;
}

// Every line as the sinks, the console and the log file get it, in one transcript. After a
// deliberate change: OTS_REGOLDEN=1 build/default/bin/test_kernel --gtest_filter=DebugOutput.*
TEST(DebugOutput, FollowsTheWindowsFormatRulesAndReachesSinksConsoleOrLogFile) {
    std::string text;
    const int id = ce::host::AddDebugSink([&](DebugChannel channel, const std::string& line) {
        text += (channel == DebugChannel::Kernel ? "K " : "R ") + Shown(line) + "\n";
        if (line == "outer") {
            NKDbgPrintfW(L"inner\n");  // a sink may print itself
        }
    });
    NKDbgPrintfW(L"[%s|%S|%hs|%ls|%ws|%hS|%lS]\n", L"w", "n", "n", L"w", L"w", "n", L"w");
    NKDbgPrintfW(L"%c%C%hc%lc\n", L'W', 'n', 'h', L'l');
    NKDbgPrintfW(L"%d|0x%x|%X|%u|%i|%o\n", -7, 0xBEEFu, 0xBEEFu, 0xFFFFFFFFu, 9, 8u);
    NKDbgPrintfW(L"%hd|%hhu\n", 70000, 300);
    // long is 32 bits, as on Windows
    NKDbgPrintfW(L"%ld|%lu|%lx|%ld\n", LONG{-1}, DWORD{0xFFFFFFFF}, DWORD{0xFFFFFFFF}, LONG{5});
    const std::int64_t big = -1234567890123LL;
    NKDbgPrintfW(L"%I64d|%lld|%I32d|%d\n", big, big, 7, 8);
    NKDbgPrintfW(L"%zu|%Iu|%p\n", std::size_t{1} << 40, std::size_t{5},
                 reinterpret_cast<void*>(std::uintptr_t{0xABC12}));
    NKDbgPrintfW(L"%5d|%-5d|%05d|%+d|%*d|%-*d|\n", 42, 42, 42, 42, 6, 1, 3, 2);
    NKDbgPrintfW(L"%.3d|%#x|%.2f\n", 5, 255u, 3.14159);
    NKDbgPrintfW(L"%6s|%-6S|%3c|%-3C|\n", L"ab", "cd", L'a', 'b');
    const wchar_t unterminated[3] = {L'a', L'b', L'c'};
    NKDbgPrintfW(L"%.3s|%.*S\n", unterminated, 2, "xyz");
    // Odd input prints safely.
    NKDbgPrintfW(L"%s|%S\n", static_cast<const wchar_t*>(nullptr),
                 static_cast<const char*>(nullptr));
    NKDbgPrintfW(L"100%%|%y|%d\n", 5);
    int written = 7;
    NKDbgPrintfW(L"ab%ncd\nend %-5", &written);
    EXPECT_EQ(written, 7);
    const wchar_t invalid[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    NKDbgPrintfW(L"\u00e9\U0001F600%s%S\n", invalid, "\xC3\xA9");
    NKDbgPrintfW(L"<%s>%d\n", std::wstring(5000, L'x').c_str(), 77);
    NKDbgPrintfW(L"%999999999d", 1);
    // Lines are split at newlines; empty text is no line.
    NKDbgPrintfW(L"a\n\nb\n");
    NKDbgPrintfW(L"");
    NKDbgPrintfW(nullptr);
    EXPECT_EQ(CeRuntimePrintf("r1 %d!\r\n", 258), 9);
    EXPECT_EQ(CeRuntimePrintf("[%s|%S|%ls|%hs]%c%C", "n", L"w", L"w", "n", 'a', L'b'), 11);
    EXPECT_EQ(CeRuntimePrintf(nullptr), -1);
    NKDbgPrintfW(L"outer\n");
    ce::host::RemoveDebugSink(id);

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    NKDbgPrintfW(L"kernel %d\n", 1);
    CeRuntimePrintf("runtime %d", 2);
    text += "stdout: " + testing::internal::GetCapturedStdout();
    text += "stderr: " + testing::internal::GetCapturedStderr();
    const ots::test::TempDir dir;
    const std::string log = dir.File("debug.log");
    ots::test::WriteFile(log, "earlier\n");
    ASSERT_TRUE(ce::host::SetDebugLogFile(log));
    EXPECT_FALSE(ce::host::SetDebugLogFile("/nonexistent-folder/for/sure/debug.log"));
    NKDbgPrintfW(L"kernel line\n");
    {
        ce::host::DebugCapture capture;  // an installed sink takes the lines instead
        NKDbgPrintfW(L"captured\n");
    }
    CeRuntimePrintf("runtime line\n");
    ASSERT_TRUE(ce::host::SetDebugLogFile(""));
    text += "log file:\n" + ots::test::ReadFile(log);
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "debug_output.txt");
}

TEST(DebugLines, StayWholeAcrossThreads) {
    ce::host::DebugCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                NKDbgPrintfW(L"T%d-%d-a\nT%d-%d-b\n", t, i, t, i);
            }
        });
    }
    std::ranges::for_each(threads, &std::thread::join);
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1600u);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        ASSERT_EQ(lines[i + 1], lines[i].substr(0, lines[i].size() - 1) + "b") << lines[i];
    }
}

// The counter sees every malloc, so a LocalAlloc on the path would show as well.
TEST(ReportPath, SignalWaitTickAndShortDebugLinesAllocateNothing) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::size_t lines = 0;
    const int id = ce::host::AddDebugSink([&](DebugChannel, const std::string&) { ++lines; });
    NKDbgPrintfW(L"<GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n", 64, 0x101u);
    const std::size_t before = ots::test::Allocations();
    for (int report = 0; report < 100; ++report) {
        SetEvent(event);
        EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
        (void)GetTickCount();
        SetLastError(0);
        NKDbgPrintfW(L"<GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n", 64, 0x101u);
        NKDbgPrintfW(L"<IssueVendorTransfer>%s:WAIT_TIMEOUT on hT:0x%x\n", L"OUT", 0x4321u);
    }
    EXPECT_EQ(ots::test::Allocations() - before, 0u);
    ce::host::RemoveDebugSink(id);
    EXPECT_EQ(lines, 201u);
    const std::string counted(100, 'x');  // the counter counts at all
    EXPECT_GT(ots::test::Allocations(), before);
    CloseHandle(event);
}

}  // namespace
