// What NKDbgPrintfW and CeRuntimePrintf print (the Windows rules for string and
// character widths and integer sizes, as UTF-8), and where the lines go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ce/debug.h"
#include "ce/host/debug_sink.h"
#include "ce/host/heap_stats.h"
#include "ce/kernel.h"
#include "support/alloc_counter.h"
#include "support/host_process.h"

namespace {

using ce::host::DebugCapture;
using ce::host::DebugChannel;
using Lines = std::vector<std::string>;

template <class... Args>
std::string Kernel(const wchar_t* format, Args... args) {
    DebugCapture capture;
    NKDbgPrintfW(format, args...);
    const Lines lines = capture.Lines(DebugChannel::Kernel);
    EXPECT_EQ(lines.size(), 1u) << "for a format printing one line";
    return lines.empty() ? std::string("<nothing>") : lines.front();
}

TEST(DebugFormat, FollowsTheWindowsRulesAndPrintsOddInputSafely) {
    EXPECT_EQ(Kernel(L"[%s|%S|%hs|%ls|%ws|%hS|%lS]", L"w", "n", "n", L"w", L"w", "n", L"w"),
              "[w|n|n|w|w|n|w]");
    EXPECT_EQ(Kernel(L"%c%C%hc%lc", L'W', 'n', 'h', L'l'), "Wnhl");
    EXPECT_EQ(Kernel(L"%d|0x%x|%X|%u|%i|%o", -7, 0xBEEFu, 0xBEEFu, 0xFFFFFFFFu, 9, 8u),
              "-7|0xbeef|BEEF|4294967295|9|10");
    EXPECT_EQ(Kernel(L"%hd|%hhu", 70000, 300), "4464|44");
    // long is 32 bits, as on Windows
    EXPECT_EQ(Kernel(L"%ld|%lu|%lx|%ld", LONG{-1}, DWORD{0xFFFFFFFF}, DWORD{0xFFFFFFFF}, LONG{5}),
              "-1|4294967295|ffffffff|5");
    const std::int64_t big = -1234567890123LL;
    EXPECT_EQ(Kernel(L"%I64d|%lld|%I32d|%d", big, big, 7, 8), "-1234567890123|-1234567890123|7|8");
    EXPECT_EQ(Kernel(L"%zu|%Iu", std::size_t{1} << 40, std::size_t{5}), "1099511627776|5");
    EXPECT_EQ(Kernel(L"%p", reinterpret_cast<void*>(std::uintptr_t{0xABC12})),
              std::string(2 * sizeof(void*) - 5, '0') + "ABC12");
    EXPECT_EQ(Kernel(L"%5d|%-5d|%05d|%+d|%*d|%-*d|", 42, 42, 42, 42, 6, 1, 3, 2),
              "   42|42   |00042|+42|     1|2  |");
    EXPECT_EQ(Kernel(L"%.3d|%#x|%.2f", 5, 255u, 3.14159), "005|0xff|3.14");
    EXPECT_EQ(Kernel(L"%6s|%-6S|%3c|%-3C|", L"ab", "cd", L'a', 'b'), "    ab|cd    |  a|b  |");
    const wchar_t unterminated[3] = {L'a', L'b', L'c'};
    EXPECT_EQ(Kernel(L"%.3s|%.*S", unterminated, 2, "xyz"), "abc|xy");

    // Odd input prints safely.
    EXPECT_EQ(
        Kernel(L"%s|%S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
        "(null)|(null)");
    EXPECT_EQ(Kernel(L"100%%|%y|%d", 5), "100%|%y|5");
    EXPECT_EQ(Kernel(L"end %-5"), "end %-5");
    int written = 7;
    EXPECT_EQ(Kernel(L"ab%ncd", &written), "abcd");
    EXPECT_EQ(written, 7);
    const wchar_t invalid[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(Kernel(L"\u00e9\U0001F600%s%S", invalid, "\xC3\xA9"),
              "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9");
    const std::wstring longText(5000, L'x');
    EXPECT_EQ(Kernel(L"<%s>%d", longText.c_str(), 77), "<" + std::string(5000, 'x') + ">77");
    const std::string absurd = Kernel(L"%999999999d", 1);
    EXPECT_LE(absurd.size(), 65536u);
    EXPECT_EQ(absurd.back(), '1');
}

TEST(DebugLines, AreSplitAtNewlinesPerChannelAndReachEverySinkUntilRemoved) {
    Lines seen;
    const int id = ce::host::AddDebugSink([&](DebugChannel, const std::string& line) {
        seen.push_back(line);
        if (line == "outer") {
            NKDbgPrintfW(L"inner\n");  // a sink may print itself
        }
    });
    DebugCapture capture;
    NKDbgPrintfW(L"a\n\nb\n");
    NKDbgPrintfW(L"partial");
    NKDbgPrintfW(L"");
    EXPECT_EQ(CeRuntimePrintf("r1 %d!\r\n", 258), 9);
    EXPECT_EQ(CeRuntimePrintf("[%s|%S|%ls|%hs]%c%C", "n", L"w", L"w", "n", 'a', L'b'), 11);
    EXPECT_EQ(CeRuntimePrintf(nullptr), -1);
    NKDbgPrintfW(nullptr);
    const Lines expected = {"a", "", "b", "partial", "r1 258!\r", "[n|w|w|n]ab"};
    EXPECT_EQ(capture.Lines(), expected);
    EXPECT_EQ(capture.Lines(DebugChannel::Runtime), (Lines{"r1 258!\r", "[n|w|w|n]ab"}));
    NKDbgPrintfW(L"outer\n");
    ce::host::RemoveDebugSink(id);
    NKDbgPrintfW(L"after removal\n");
    EXPECT_TRUE(capture.Contains("inner") && capture.Contains("after removal"));
    Lines seenExpected = expected;
    seenExpected.insert(seenExpected.end(), {"outer", "inner"});
    EXPECT_EQ(seen, seenExpected);
}

TEST(DebugLines, StayWholeAcrossThreads) {
    DebugCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                NKDbgPrintfW(L"T%d-%d-a\nT%d-%d-b\n", t, i, t, i);
            }
        });
    }
    std::ranges::for_each(threads, &std::thread::join);
    const Lines lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1600u);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        ASSERT_EQ(lines[i + 1], lines[i].substr(0, lines[i].size() - 1) + "b") << lines[i];
    }
}

TEST(DebugLines, GoToTheConsoleOrTheLogFileWhenNoSinkTakesThem) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    NKDbgPrintfW(L"kernel %d\n", 1);
    CeRuntimePrintf("runtime %d", 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "runtime 2\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kernel 1\n");

    const ots::test::TempDir dir;
    const std::string log = dir.File("debug.log");
    ots::test::WriteFile(log, "earlier\n");
    ASSERT_TRUE(ce::host::SetDebugLogFile(log));
    EXPECT_FALSE(ce::host::SetDebugLogFile("/nonexistent-folder/for/sure/debug.log"));
    NKDbgPrintfW(L"kernel line\n");
    {
        DebugCapture capture;  // an installed sink takes the lines instead
        NKDbgPrintfW(L"captured\n");
    }
    CeRuntimePrintf("runtime line\n");
    ASSERT_TRUE(ce::host::SetDebugLogFile(""));
    EXPECT_EQ(ots::test::ReadFile(log), "earlier\nkernel line\nruntime line\n");
}

TEST(ReportPath, SignalWaitTickAndShortDebugLinesAllocateNothing) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::size_t lines = 0;
    const int id = ce::host::AddDebugSink([&](DebugChannel, const std::string&) { ++lines; });
    NKDbgPrintfW(L"<GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n", 64, 0x101u);
    const std::size_t before = ots::test::Allocations();
    const std::uint64_t localBefore = ce::host::LocalAllocCount();
    for (int report = 0; report < 100; ++report) {
        SetEvent(event);
        EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
        (void)GetTickCount();
        SetLastError(0);
        NKDbgPrintfW(L"<GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n", 64, 0x101u);
        NKDbgPrintfW(L"<IssueVendorTransfer>%s:WAIT_TIMEOUT on hT:0x%x\n", L"OUT", 0x4321u);
    }
    EXPECT_EQ(ots::test::Allocations() - before, 0u);
    EXPECT_EQ(ce::host::LocalAllocCount(), localBefore);
    ce::host::RemoveDebugSink(id);
    EXPECT_EQ(lines, 201u);
    const std::string counted(100, 'x');  // the counter counts at all
    EXPECT_GT(ots::test::Allocations(), before);
    CloseHandle(event);
}

}  // namespace
