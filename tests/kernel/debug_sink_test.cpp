// Where debug output goes: line splitting, sinks, the console, the log file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "ce/debug.h"
#include "ce/host/debug_sink.h"

namespace {

using ce::host::AddDebugSink;
using ce::host::DebugCapture;
using ce::host::DebugChannel;
using ce::host::RemoveDebugSink;
using ce::host::SetDebugLogFile;
using Lines = std::vector<std::string>;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempLogFile {
  public:
    TempLogFile()
        : path_(std::filesystem::temp_directory_path() /
                ("kernel_test_" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log")) {
        std::filesystem::remove(path_);
    }
    ~TempLogFile() {
        SetDebugLogFile("");
        std::filesystem::remove(path_);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(DebugLines, EachLineOfAPrintIsOneSinkCall) {
    DebugCapture capture;
    NKDbgPrintfW(L"first\nsecond\nthird\n");
    EXPECT_EQ(capture.Lines(DebugChannel::Kernel), (Lines{"first", "second", "third"}));
}

TEST(DebugLines, EmptyLinesInsideAreKeptAndNoneIsAddedAtTheEnd) {
    DebugCapture capture;
    NKDbgPrintfW(L"a\n\nb\n");
    EXPECT_EQ(capture.Lines(), (Lines{"a", "", "b"}));
}

TEST(DebugLines, TextWithoutNewlineIsALineOfItsOwn) {
    DebugCapture capture;
    NKDbgPrintfW(L"partial");
    NKDbgPrintfW(L"rest\n");
    CeRuntimePrintf("no newline either");
    EXPECT_EQ(capture.Lines(), (Lines{"partial", "rest", "no newline either"}));
}

TEST(DebugLines, EmptyTextIsNoLine) {
    DebugCapture capture;
    NKDbgPrintfW(L"");
    CeRuntimePrintf("%s", "");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DebugLines, CarriageReturnBeforeTheNewlineStays) {
    DebugCapture capture;
    CeRuntimePrintf(
        "<CalibrateDlg><DataReceiveProc>TimeOut after ResetEvent or Failed Wait:%d!\r\n", 258);
    EXPECT_EQ(
        capture.Lines(DebugChannel::Runtime),
        (Lines{"<CalibrateDlg><DataReceiveProc>TimeOut after ResetEvent or Failed Wait:258!\r"}));
}

TEST(DebugLines, ChannelsAreKeptApartButInOneOrder) {
    DebugCapture capture;
    NKDbgPrintfW(L"k1\n");
    CeRuntimePrintf("r1\n");
    NKDbgPrintfW(L"k2\n");
    EXPECT_EQ(capture.Lines(), (Lines{"k1", "r1", "k2"}));
    EXPECT_EQ(capture.Lines(DebugChannel::Kernel), (Lines{"k1", "k2"}));
    EXPECT_EQ(capture.Lines(DebugChannel::Runtime), (Lines{"r1"}));
}

TEST(DebugCaptureUse, ContainsFindsTextInsideAnyLineAndClearForgets) {
    DebugCapture capture;
    NKDbgPrintfW(L"<common><GetDeviceID>call deviceiocontrol failed!\r\n");
    EXPECT_TRUE(capture.Contains("call deviceiocontrol failed!"));
    EXPECT_TRUE(capture.Contains("<common><GetDeviceID>"));
    EXPECT_FALSE(capture.Contains("something else"));
    capture.Clear();
    EXPECT_FALSE(capture.Contains("<common>"));
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DebugSinks, EverySinkGetsEveryLineUntilRemoved) {
    std::vector<std::pair<DebugChannel, std::string>> seen;
    const int id = AddDebugSink(
        [&](DebugChannel channel, const std::string& line) { seen.emplace_back(channel, line); });
    DebugCapture capture;  // a second sink beside it
    NKDbgPrintfW(L"one\ntwo\n");
    CeRuntimePrintf("three\n");
    RemoveDebugSink(id);
    NKDbgPrintfW(L"after removal\n");

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(DebugChannel::Kernel, std::string("one")));
    EXPECT_EQ(seen[1], std::make_pair(DebugChannel::Kernel, std::string("two")));
    EXPECT_EQ(seen[2], std::make_pair(DebugChannel::Runtime, std::string("three")));
    EXPECT_EQ(capture.Lines(), (Lines{"one", "two", "three", "after removal"}));
}

TEST(DebugSinks, ASinkMayPrintItself) {
    DebugCapture capture;
    const int id = AddDebugSink([](DebugChannel, const std::string& line) {
        if (line == "outer") {
            NKDbgPrintfW(L"inner\n");
        }
    });
    NKDbgPrintfW(L"outer\n");
    RemoveDebugSink(id);
    EXPECT_TRUE(capture.Contains("outer"));
    EXPECT_TRUE(capture.Contains("inner"));
}

TEST(DebugSinks, LinesOfOnePrintStayTogetherAcrossThreads) {
    constexpr int kThreads = 4;
    constexpr int kPrints = 200;
    DebugCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPrints; ++i) {
                NKDbgPrintfW(L"T%d-%d-a\nT%d-%d-b\n", t, i, t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const Lines lines = capture.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 * kThreads * kPrints));
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        ASSERT_EQ(lines[i].back(), 'a') << lines[i];
        EXPECT_EQ(lines[i + 1], lines[i].substr(0, lines[i].size() - 1) + "b");
    }
}

TEST(DebugConsole, WithoutASinkKernelLinesGoToStderrAndRuntimeLinesToStdout) {
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    NKDbgPrintfW(L"kernel %d\n", 1);
    CeRuntimePrintf("runtime %d", 2);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "kernel 1\n");
    EXPECT_EQ(out, "runtime 2\n");
}

TEST(DebugLogFile, BothChannelsAreAppendedUntilTheDefaultIsRestored) {
    TempLogFile log;
    { std::ofstream(log.path()) << "earlier\n"; }
    ASSERT_TRUE(SetDebugLogFile(log.path().string()));
    NKDbgPrintfW(L"kernel line\n");
    CeRuntimePrintf("runtime line\n");
    ASSERT_TRUE(SetDebugLogFile(""));
    EXPECT_EQ(ReadFile(log.path()), "earlier\nkernel line\nruntime line\n");

    ::testing::internal::CaptureStderr();
    NKDbgPrintfW(L"back on stderr\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "back on stderr\n");
    EXPECT_EQ(ReadFile(log.path()), "earlier\nkernel line\nruntime line\n");
}

TEST(DebugLogFile, AnInstalledSinkTakesTheLinesInstead) {
    TempLogFile log;
    ASSERT_TRUE(SetDebugLogFile(log.path().string()));
    {
        DebugCapture capture;
        NKDbgPrintfW(L"captured\n");
        EXPECT_TRUE(capture.Contains("captured"));
    }
    NKDbgPrintfW(L"logged\n");
    SetDebugLogFile("");
    EXPECT_EQ(ReadFile(log.path()), "logged\n");
}

TEST(DebugLogFile, AnUnopenableFileChangesNothing) {
    TempLogFile log;
    ASSERT_TRUE(SetDebugLogFile(log.path().string()));
    EXPECT_FALSE(SetDebugLogFile("/nonexistent-folder/for/sure/debug.log"));
    NKDbgPrintfW(L"still here\n");
    SetDebugLogFile("");
    EXPECT_EQ(ReadFile(log.path()), "still here\n");
}

}  // namespace
