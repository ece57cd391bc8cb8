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
#include "ce/kernel.h"
#include "support/alloc_counter.h"
#include "support/golden.h"
#include "support/host_process.h"

namespace {

using ce::host::DebugChannel;

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
