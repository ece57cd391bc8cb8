// mouse_event and its sinks: every sink sees every event in order, with its platform time; the
// recorder, its waits, the JSON trace line; and no allocation per event.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/input.h"
#include "support/alloc_counter.h"
#include "support/scaled_clock.h"

namespace {

using ce::host::MouseEvent;
constexpr DWORD kMove = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
constexpr DWORD kDown = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
constexpr DWORD kUp = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;

std::string Text(const std::vector<MouseEvent>& events) {
    std::ostringstream out;
    for (const MouseEvent& e : events) {
        out << std::hex << e.flags << std::dec << " " << e.dx << " " << e.dy << "; ";
    }
    return out.str();
}

TEST(InputSinks, EveryEventReachesEverySinkInOrderUntilRemoved) {
    std::vector<MouseEvent> removed;
    const int id = ce::host::AddInputSink([&](const MouseEvent& e) { removed.push_back(e); });
    std::FILE* file = std::tmpfile();
    ce::host::MouseEventRecorder recorder;
    const double before = ce::host::PlatformNowMs();
    {
        ce::host::MouseEventTrace trace(file);
        mouse_event(kMove, 16384, 32768, 0, 0);
        mouse_event(kDown | MOUSEEVENTF_MOVE, 0, 65536, 7, 9);  // data and extra are not carried
        ce::host::RemoveInputSink(id);
        mouse_event(kUp, 65534, 1, 0, 0);
    }
    mouse_event(kMove, 5, 5, 0, 0);  // the trace is gone: not written
    const std::vector<MouseEvent> events = recorder.Events();
    EXPECT_EQ(Text(removed), "8001 16384 32768; 8003 0 65536; ");
    EXPECT_EQ(Text(events), "8001 16384 32768; 8003 0 65536; 8004 65534 1; 8001 5 5; ");
    EXPECT_GE(events[0].platformMs, before);
    EXPECT_LE(events[0].platformMs, events[1].platformMs);
    EXPECT_LE(events[3].platformMs, ce::host::PlatformNowMs());
    std::rewind(file);
    char line[128];
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
        char expected[128];
        std::snprintf(expected, sizeof expected,
                      "{\"t_ms\":%.3f,\"flags\":\"0x%04X\",\"dx\":%u,\"dy\":%u}\n",
                      events[i].platformMs, events[i].flags, events[i].dx, events[i].dy);
        EXPECT_STREQ(line, expected);
    }
    EXPECT_EQ(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    testing::internal::CaptureStdout();
    {
        ce::host::MouseEventTrace toStdout;
        mouse_event(kDown, 7, 8, 0, 0);
    }
    EXPECT_NE(
        testing::internal::GetCapturedStdout().find("\"flags\":\"0x8002\",\"dx\":7,\"dy\":8}\n"),
        std::string::npos);
    recorder.Clear();
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST(MouseEventRecorder, WaitsOnThePlatformClockAndLosesNothingAcrossThreads) {
    ots::test::FastClock fast;
    ce::host::MouseEventRecorder recorder;
    std::vector<std::thread> threads;
    for (DWORD t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (DWORD i = 0; i < 2000; ++i) {
                mouse_event(kMove, t, i, 0, 0);
            }
        });
    }
    EXPECT_TRUE(recorder.WaitForCount(8000, 6'000'000));
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<DWORD> next(4, 0);  // each thread's events keep their order
    for (const MouseEvent& event : recorder.Events()) {
        ASSERT_LT(event.dx, 4u);
        EXPECT_EQ(event.dy, next[event.dx]++);
    }
    EXPECT_EQ(next, std::vector<DWORD>(4, 2000));
    const double start = ce::host::PlatformNowMs();
    EXPECT_FALSE(recorder.WaitForCount(8001, 1000));
    EXPECT_GE(ce::host::PlatformNowMs() - start, 990.0);

    const std::size_t allocations = ots::test::Allocations();
    for (DWORD i = 0; i < 10'000; ++i) {
        mouse_event(kMove, i, i, 0, 0);
    }
    EXPECT_EQ(ots::test::Allocations(), allocations) << "recording an event allocates nothing";
    EXPECT_EQ(recorder.Count(), 18000u);
    { const ce::host::MouseEventRecorder another; }  // reserves its storage in the library
    EXPECT_GT(ots::test::Allocations(), allocations) << "the counter counts the library too";
}

}  // namespace
