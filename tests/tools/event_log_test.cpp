// The host's record of injected events: numbering, the ring's limit, waiting, the JSON form,
// and the report that sets the finger against what the driver injected.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/input.h"
#include "event_log.h"
#include "touch_report.h"

namespace {

using namespace ots::host;
using ::testing::HasSubstr;

constexpr DWORD kDown = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
constexpr DWORD kUp = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
constexpr DWORD kMove = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;

std::vector<std::uint64_t> Sequences(const std::vector<LoggedEvent>& events) {
    std::vector<std::uint64_t> sequences;
    for (const LoggedEvent& event : events) {
        sequences.push_back(event.sequence);
    }
    return sequences;
}

TEST(EventLog, RecordsInjectedEventsWithRunningNumbers) {
    EventLog log(8);
    EXPECT_EQ(log.NextSequence(), 1u);
    mouse_event(kDown, 100, 200, 0, 0);
    mouse_event(kUp, 300, 400, 0, 0);
    const std::vector<LoggedEvent> events = log.Last(0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].sequence, 1u);
    EXPECT_EQ(events[0].event.flags, kDown);
    EXPECT_EQ(events[1].event.dx, 300u);
    EXPECT_EQ(log.NextSequence(), 3u);
    EXPECT_EQ(Sequences(log.Since(2)), (std::vector<std::uint64_t>{2}));
    EXPECT_TRUE(log.Since(3).empty());
}

TEST(EventLog, KeepsOnlyTheNewestWhenTheRingIsFull) {
    EventLog log(4);
    for (DWORD i = 0; i < 10; ++i) {
        log.Record({kMove, i, i, 0.0});
    }
    EXPECT_EQ(Sequences(log.Last(0)), (std::vector<std::uint64_t>{7, 8, 9, 10}));
    EXPECT_EQ(Sequences(log.Last(2)), (std::vector<std::uint64_t>{9, 10}));
    EXPECT_EQ(Sequences(log.Last(4)), (std::vector<std::uint64_t>{7, 8, 9, 10}));
    EXPECT_EQ(Sequences(log.Last(100)), (std::vector<std::uint64_t>{7, 8, 9, 10}));
    EXPECT_EQ(Sequences(log.Since(1)), (std::vector<std::uint64_t>{7, 8, 9, 10}));
    EXPECT_EQ(log.Last(0).front().event.dx, 6u);
}

TEST(EventLog, RecordingAllocatesNothingFromTheLocalHeap) {
    EventLog log(4);
    const auto before = ce::host::LocalAllocCount();
    for (DWORD i = 0; i < 100; ++i) {
        mouse_event(kMove, i, i, 0, 0);
    }
    EXPECT_EQ(ce::host::LocalAllocCount(), before);
    EXPECT_EQ(log.NextSequence(), 101u);
}

TEST(EventLog, WaitForReturnsOnceTheEventExists) {
    EventLog log(4);
    EXPECT_FALSE(log.WaitFor(1, std::chrono::milliseconds(1)));
    std::thread injector([] { mouse_event(kMove, 1, 1, 0, 0); });
    EXPECT_TRUE(log.WaitFor(1, std::chrono::seconds(60)));
    injector.join();
    EXPECT_TRUE(log.WaitFor(1, std::chrono::milliseconds(0)));
    EXPECT_FALSE(log.WaitFor(2, std::chrono::milliseconds(1)));
}

TEST(EventLog, JsonCarriesTheRawAndThePixelPosition) {
    const LoggedEvent event{12, {kDown, 32768, 16384, 1.25}};
    EXPECT_EQ(event.Json(),
              "{\"seq\":12,\"t_ms\":1.250,\"flags\":\"0x8002\",\"dx\":32768,\"dy\":16384,"
              "\"x_px\":400.0,\"y_px\":150.0}");
    EXPECT_DOUBLE_EQ(LoggedEvent({1, {kMove, 65535, 65535, 0}}).XPx(), 65535 * 800 / 65536.0);
}

TEST(TouchReport, SetsTheFingerAgainstTheInjectedClick) {
    const std::vector<ots::control::Point> finger = {{400, 300}, {500, 300}};
    const std::vector<LoggedEvent> injected = {
        {1, {kMove, 32768, 32768, 0}},
        {2, {kDown, 32768, 32768, 0}},      // 400, 300
        {3, {kMove, 40960, 32768, 0}},      // 500, 300
        {4, {kUp, 40960 + 328, 32768, 0}},  // about 504, 300
    };
    const std::string text = DescribeTouch(finger, injected);
    EXPECT_THAT(text, HasSubstr("finger: down at 400.0 300.0, up at 500.0 300.0\n"));
    EXPECT_THAT(text, HasSubstr("injected: 4 events"));
    EXPECT_THAT(text, HasSubstr("left down at 400.0 300.0 (0.0 px from the finger)"));
    EXPECT_THAT(text, HasSubstr("left up at 504.0 300.0 (4.0 px from the finger)"));
}

TEST(TouchReport, SaysWhenNoClickCame) {
    const std::vector<ots::control::Point> finger = {{10, 20}};
    EXPECT_THAT(DescribeTouch(finger, {}), HasSubstr("injected: 0 events\n"));
    const std::string moves = DescribeTouch(finger, {{1, {kMove, 8192, 8192, 0}}});
    EXPECT_THAT(moves, HasSubstr("injected: 1 events; last at 100.0 75.0"));
}

}  // namespace
