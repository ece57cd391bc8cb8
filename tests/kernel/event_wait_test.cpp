#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/kernel_object.h"
#include "ce/kernel.h"
#include "kernel_test_support.h"

namespace {

using kernel_test::kGenerousWaitMs;
using kernel_test::ScopedHandle;

// Results of several threads that each wait once on the same handle.
class Waiters {
  public:
    Waiters(HANDLE handle, int count, DWORD timeoutMs) {
        for (int i = 0; i < count; ++i) {
            threads_.emplace_back([this, handle, timeoutMs] {
                const DWORD result = WaitForSingleObject(handle, timeoutMs);
                const DWORD error = GetLastError();
                std::lock_guard lock(mutex_);
                results_.push_back(result);
                errors_.push_back(error);
                if (result == WAIT_OBJECT_0) {
                    ++woken_;
                }
            });
        }
    }
    ~Waiters() { Join(); }

    void Join() {
        for (auto& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }
    int Woken() const { return woken_; }
    // Polls until n waiters were woken; false if that takes longer than a generous bound.
    bool AwaitWoken(int n) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (woken_ < n) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::size_t Count(DWORD result) const {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(results_.begin(), results_.end(), result));
    }
    std::vector<DWORD> Errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<DWORD> results_;
    std::vector<DWORD> errors_;
    std::atomic<int> woken_{0};
    std::vector<std::thread> threads_;
};

TEST(Event, InitialStateDecidesTheFirstWait) {
    ScopedHandle set(CreateEventW(nullptr, FALSE, TRUE, nullptr));
    ScopedHandle clear(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_NE(set.get(), nullptr);
    ASSERT_NE(clear.get(), nullptr);
    EXPECT_EQ(WaitForSingleObject(set.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(clear.get(), 0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetWakesExactlyOneOfTwoWaitersPerSet) {
    ce::host::ScopedTimeScale fast(0.01);
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    Waiters waiters(event.get(), 2, 3000);
    ASSERT_TRUE(SetEvent(event.get()));
    waiters.Join();
    EXPECT_EQ(waiters.Count(WAIT_OBJECT_0), 1u);
    EXPECT_EQ(waiters.Count(WAIT_TIMEOUT), 1u);
    // The wait that was released took the signal with it.
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetReleasesTheSecondWaiterOnTheSecondSet) {
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    Waiters waiters(event.get(), 2, kGenerousWaitMs);
    ASSERT_TRUE(SetEvent(event.get()));
    ASSERT_TRUE(waiters.AwaitWoken(1));
    ASSERT_TRUE(SetEvent(event.get()));
    waiters.Join();
    EXPECT_EQ(waiters.Count(WAIT_OBJECT_0), 2u);
}

TEST(Event, ManualResetStaysSignalledForEveryWaiterUntilReset) {
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Waiters waiters(event.get(), 3, kGenerousWaitMs);
    ASSERT_TRUE(SetEvent(event.get()));
    waiters.Join();
    EXPECT_EQ(waiters.Count(WAIT_OBJECT_0), 3u);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);

    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(Event, ResetBeforeTheWaitLeavesTheWaiterWaiting) {
    ce::host::ScopedTimeScale fast(0.01);
    ScopedHandle event(CreateEventW(nullptr, FALSE, TRUE, nullptr));
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 100), WAIT_TIMEOUT);
}

TEST(Event, TimedWaitRunsOnTheScaledClock) {
    ce::host::ScopedTimeScale fast(0.01);
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const double platformStart = ce::host::PlatformNowMs();
    const auto realStart = std::chrono::steady_clock::now();

    EXPECT_EQ(WaitForSingleObject(event.get(), 1000), WAIT_TIMEOUT);

    EXPECT_GE(ce::host::PlatformNowMs() - platformStart, 999.9);
    // Unscaled, the wait alone would take a full real second.
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(1));
}

TEST(Event, ZeroTimeoutOnlyPolls) {
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
    SetEvent(event.get());
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(Event, ClosedHandleFailsEveryCall) {
    const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(event));

    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Event, ForeignHandlesCannotBeWaitedOnOrSet) {
    // Stands for a stream handle or any other object that is not waitable.
    class StreamLike : public ce::host::KernelObject {};
    ScopedHandle stream(ce::host::InsertHandle(std::make_shared<StreamLike>()));

    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(stream.get(), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(stream.get()));
    EXPECT_FALSE(SetEvent(nullptr));
}

TEST(Event, ClosingWhileAnotherThreadWaitsWakesItWithWaitFailed) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Waiters waiters(event, 2, kGenerousWaitMs);
    ASSERT_TRUE(CloseHandle(event));
    waiters.Join();
    EXPECT_EQ(waiters.Count(WAIT_FAILED), 2u);
    for (DWORD error : waiters.Errors()) {
        EXPECT_EQ(error, ERROR_INVALID_HANDLE);
    }
}

TEST(Event, EveryEventGetsItsOwnHandle) {
    ScopedHandle first(CreateEventW(nullptr, FALSE, FALSE, L"same name"));
    ScopedHandle second(CreateEventW(nullptr, FALSE, FALSE, L"same name"));
    EXPECT_NE(first.get(), second.get());
    SetEvent(first.get());
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_TIMEOUT);
}

}  // namespace
