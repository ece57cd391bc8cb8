#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/kernel.h"

namespace {

class CriticalSection : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&section_); }
    void TearDown() override { DeleteCriticalSection(&section_); }
    CRITICAL_SECTION section_{};
};

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD initialThere = 1;
    DWORD afterSetThere = 0;
    std::thread([&] {
        initialThere = GetLastError();
        SetLastError(ERROR_INVALID_PARAMETER);
        afterSetThere = GetLastError();
    }).join();
    EXPECT_EQ(initialThere, ERROR_SUCCESS);
    EXPECT_EQ(afterSetThere, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(CriticalSection, InitializeAllocatesAndDeleteFrees) {
    EXPECT_NE(section_.impl, nullptr);
    CRITICAL_SECTION other{};
    InitializeCriticalSection(&other);
    EXPECT_NE(other.impl, section_.impl);
    DeleteCriticalSection(&other);
    EXPECT_EQ(other.impl, nullptr);
}

TEST_F(CriticalSection, OwnerMayEnterAgainAndOthersWaitForTheLastLeave) {
    ce::host::ScopedTimeScale fast(0.01);
    EnterCriticalSection(&section_);
    EnterCriticalSection(&section_);  // would deadlock if not re-entrant

    std::atomic<bool> otherEntered{false};
    std::thread other([&] {
        EnterCriticalSection(&section_);
        otherEntered = true;
        LeaveCriticalSection(&section_);
    });

    LeaveCriticalSection(&section_);
    Sleep(2000);  // time for the other thread to get in, if the section let it
    EXPECT_FALSE(otherEntered) << "entered while the owner still held it once";

    LeaveCriticalSection(&section_);
    other.join();
    EXPECT_TRUE(otherEntered);
}

TEST_F(CriticalSection, LeaveByAThreadThatDoesNotOwnItIsIgnored) {
    ce::host::ScopedTimeScale fast(0.01);
    EnterCriticalSection(&section_);
    std::thread([&] { LeaveCriticalSection(&section_); }).join();

    std::atomic<bool> otherEntered{false};
    std::thread other([&] {
        EnterCriticalSection(&section_);
        otherEntered = true;
        LeaveCriticalSection(&section_);
    });
    Sleep(2000);
    EXPECT_FALSE(otherEntered);
    LeaveCriticalSection(&section_);
    other.join();
    EXPECT_TRUE(otherEntered);
}

TEST_F(CriticalSection, ExcludesOtherThreadsFromUnprotectedUpdates) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    long counter = 0;  // deliberately not atomic: only the section protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&section_);
                const long seen = counter;
                if (i % 64 == 0) {
                    std::this_thread::yield();  // widen the window a broken lock would leave
                }
                counter = seen + 1;
                LeaveCriticalSection(&section_);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, kThreads * kRounds);
}

TEST(CriticalSectionMisuse, NullSectionsAreIgnored) {
    EnterCriticalSection(nullptr);
    LeaveCriticalSection(nullptr);
    DeleteCriticalSection(nullptr);
    CRITICAL_SECTION deleted{};
    InitializeCriticalSection(&deleted);
    DeleteCriticalSection(&deleted);
    EnterCriticalSection(&deleted);
    LeaveCriticalSection(&deleted);
    SUCCEED();  // reaching here without a crash is the result
}

}  // namespace
