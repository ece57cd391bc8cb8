// mouse_event and its sinks: every sink sees every event in order, with its platform time; the
// recorder, its waits, the JSON trace line; and no allocation per event.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/input.h"
#include "ce/kernel.h"
#include "support/alloc_counter.h"
#include "support/mouse_events.h"
#include "support/scaled_clock.h"

namespace ots::test {
namespace {

using ce::host::MouseEvent;

// The JSON trace line of each event, with its time.
std::string Json(const std::vector<MouseEvent>& events) {
    std::string text;
    for (const MouseEvent& e : events) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "{\"t_ms\":%.3f,\"flags\":\"0x%04X\",\"dx\":%u,\"dy\":%u}\n", e.platformMs,
                      e.flags, e.dx, e.dy);
        text += line;
    }
    return text;
}

// The events of a burst share one clock read; whatever may have held the thread (a wait, a
// sleep, a critical section) or showed it the clock ends the burst, so no later event carries
// a time from before it.
TEST(InputSinks, ABurstSharesATimeUntilTheThreadWaitsLocksOrReadsTheClock) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    const struct {
        const char* name;
        void (*end)(HANDLE, CRITICAL_SECTION*);
    } rows[] = {
        {"wait", [](HANDLE e, CRITICAL_SECTION*) { WaitForSingleObject(e, 0); }},
        {"sleep", [](HANDLE, CRITICAL_SECTION*) { Sleep(1); }},
        {"critical section",
         [](HANDLE, CRITICAL_SECTION* cs) {
             EnterCriticalSection(cs);
             LeaveCriticalSection(cs);
         }},
        {"clock read", [](HANDLE, CRITICAL_SECTION*) { ce::host::PlatformNowMs(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ce::host::MouseEventRecorder recorder;
        mouse_event(kMove, 1, 1, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // not the platform's
        mouse_event(kMove, 2, 2, 0, 0);
        row.end(event, &section);
        mouse_event(kMove, 3, 3, 0, 0);
        const std::vector<MouseEvent> events = recorder.Events();
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[1].platformMs, events[0].platformMs);
        EXPECT_GE(events[2].platformMs - events[1].platformMs, 3.0);
    }
    DeleteCriticalSection(&section);
    CloseHandle(event);
}

TEST(InputSinks, EveryEventReachesEverySinkInOrderWithItsTimeUntilRemoved) {
    std::FILE* file = std::tmpfile();
    ce::host::MouseEventRecorder recorder;
    const double before = ce::host::PlatformNowMs();
    {
        ce::host::MouseEventTrace trace(file);  // removed when it goes
        mouse_event(kMove, 16384, 32768, 0, 0);
        mouse_event(kMoveDown, 0, 65536, 7, 9);  // data and extra are not carried
    }
    mouse_event(kUp, 65534, 1, 0, 0);
    const std::vector<MouseEvent> events = recorder.Events();
    EXPECT_EQ(
        InjectedEvents(recorder),
        (std::vector<Injected>{{kMove, 16384, 32768}, {kMoveDown, 0, 65536}, {kUp, 65534, 1}}));
    EXPECT_GE(events[0].platformMs, before);
    EXPECT_LE(events[0].platformMs, events[1].platformMs);
    EXPECT_LE(events[2].platformMs, ce::host::PlatformNowMs());
    std::string trace(512, '\0');
    std::rewind(file);
    trace.resize(std::fread(trace.data(), 1, trace.size(), file));
    std::fclose(file);
    EXPECT_EQ(trace, Json({events[0], events[1]}));
    recorder.Clear();
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST(MouseEventRecorder, WaitsOnThePlatformClockAndLosesNothingAcrossThreads) {
    FastClock fast;
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
    std::ranges::for_each(threads, &std::thread::join);
    const double start = ce::host::PlatformNowMs();
    EXPECT_FALSE(recorder.WaitForCount(8001, 1000));
    EXPECT_GE(ce::host::PlatformNowMs() - start, 990.0);

    const std::size_t allocations = Allocations();
    for (DWORD i = 0; i < 10'000; ++i) {
        mouse_event(kMove, i, i, 0, 0);
    }
    EXPECT_EQ(Allocations(), allocations) << "recording an event allocates nothing";
    EXPECT_EQ(recorder.Count(), 18000u);
    { const ce::host::MouseEventRecorder another; }  // reserves its storage in the library
    EXPECT_GT(Allocations(), allocations) << "the counter counts the library too";
}

}  // namespace
}  // namespace ots::test
