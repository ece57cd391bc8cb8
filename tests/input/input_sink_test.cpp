// mouse_event and its sinks: every sink sees every event in order; the recorder and its waits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/input.h"

namespace {

using ce::host::MouseEvent;
using ce::host::MouseEventRecorder;

constexpr DWORD kMove = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
constexpr DWORD kDown = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
constexpr DWORD kUp = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;

MATCHER_P3(IsEvent, flags, dx, dy, "") {
    return arg.flags == flags && arg.dx == dx && arg.dy == dy;
}

// Installs a sink that appends to a vector for the life of the scope.
class VectorSink {
  public:
    VectorSink()
        : id_(ce::host::AddInputSink([this](const MouseEvent& e) { events.push_back(e); })) {}
    ~VectorSink() { ce::host::RemoveInputSink(id_); }
    std::vector<MouseEvent> events;

  private:
    int id_;
};

TEST(InputSinks, EveryEventReachesEverySinkInOrder) {
    VectorSink first;
    VectorSink second;
    mouse_event(kMove, 100, 200, 0, 0);
    mouse_event(kDown, 100, 200, 7, 9);  // data and extra information are not carried
    mouse_event(kUp, 65534, 0, 0, 0);

    const auto expected = testing::ElementsAre(
        IsEvent(kMove, 100u, 200u), IsEvent(kDown, 100u, 200u), IsEvent(kUp, 65534u, 0u));
    EXPECT_THAT(first.events, expected);
    EXPECT_THAT(second.events, expected);
}

TEST(InputSinks, RemovedSinkSeesNoMoreEvents) {
    VectorSink kept;
    std::vector<MouseEvent> removedEvents;
    const int removed = ce::host::AddInputSink(
        [&removedEvents](const MouseEvent& e) { removedEvents.push_back(e); });
    EXPECT_NE(removed, 0);
    mouse_event(kMove, 1, 1, 0, 0);
    ce::host::RemoveInputSink(removed);
    mouse_event(kMove, 2, 2, 0, 0);

    EXPECT_THAT(removedEvents, testing::ElementsAre(IsEvent(kMove, 1u, 1u)));
    EXPECT_THAT(kept.events, testing::ElementsAre(IsEvent(kMove, 1u, 1u), IsEvent(kMove, 2u, 2u)));
}

TEST(InputSinks, EventsCarryThePlatformTimeOfInjection) {
    MouseEventRecorder recorder;
    const double before = ce::host::PlatformNowMs();
    mouse_event(kMove, 1, 2, 0, 0);
    mouse_event(kMove, 3, 4, 0, 0);
    const double after = ce::host::PlatformNowMs();

    const std::vector<MouseEvent> events = recorder.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_GE(events[0].platformMs, before);
    EXPECT_LE(events[0].platformMs, events[1].platformMs);
    EXPECT_LE(events[1].platformMs, after);
}

TEST(MouseEventRecorder, KeepsEventsUntilClearedAndStopsWhenDestroyed) {
    std::vector<MouseEvent> outside;
    {
        MouseEventRecorder recorder;
        mouse_event(kDown, 10, 20, 0, 0);
        EXPECT_EQ(recorder.Count(), 1u);
        recorder.Clear();
        EXPECT_EQ(recorder.Count(), 0u);
        mouse_event(kUp, 30, 40, 0, 0);
        EXPECT_THAT(recorder.Events(), testing::ElementsAre(IsEvent(kUp, 30u, 40u)));
    }
    VectorSink after;
    mouse_event(kMove, 1, 1, 0, 0);  // no recorder left to reach
    EXPECT_EQ(after.events.size(), 1u);
}

TEST(MouseEventRecorder, WaitForCountReturnsOnceEventsArriveFromAnotherThread) {
    MouseEventRecorder recorder;
    std::thread injector([] {
        for (DWORD i = 0; i < 3; ++i) {
            mouse_event(kMove, i, i, 0, 0);
        }
    });
    EXPECT_TRUE(recorder.WaitForCount(3, 60'000));
    injector.join();
    EXPECT_EQ(recorder.Count(), 3u);
}

TEST(MouseEventRecorder, WaitForCountTimesOutOnThePlatformClock) {
    const ce::host::ScopedTimeScale fast(0.01);
    MouseEventRecorder recorder;
    mouse_event(kMove, 1, 1, 0, 0);
    EXPECT_TRUE(recorder.WaitForCount(1, 0));
    const double start = ce::host::PlatformNowMs();
    EXPECT_FALSE(recorder.WaitForCount(2, 1000));
    EXPECT_GE(ce::host::PlatformNowMs() - start, 1000.0 * 0.99);
}

TEST(MouseEventRecorder, RecordersOnSeveralThreadsLoseNothing) {
    MouseEventRecorder recorder;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                mouse_event(kMove, static_cast<DWORD>(t), static_cast<DWORD>(i), 0, 0);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Each thread's events keep their order among themselves.
    std::vector<DWORD> next(kThreads, 0);
    for (const MouseEvent& event : recorder.Events()) {
        ASSERT_LT(event.dx, static_cast<DWORD>(kThreads));
        EXPECT_EQ(event.dy, next[event.dx]++);
    }
    for (DWORD count : next) {
        EXPECT_EQ(count, static_cast<DWORD>(kPerThread));
    }
}

}  // namespace
