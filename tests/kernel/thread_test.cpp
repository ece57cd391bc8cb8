#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "ce/kernel.h"
#include "kernel_test_support.h"

namespace {

using kernel_test::kGenerousWaitMs;
using kernel_test::RunCallable;
using kernel_test::ScopedHandle;

HANDLE StartThread(std::function<DWORD()>& body, DWORD* threadId = nullptr) {
    return CreateThread(nullptr, 0, RunCallable, &body, 0, threadId);
}

TEST(Thread, HandleIsSignalledWhenTheRoutineEndsAndKeepsItsExitCode) {
    ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::function<DWORD()> body = [&] {
        WaitForSingleObject(go.get(), INFINITE);
        return DWORD{42};
    };
    ScopedHandle thread(StartThread(body));
    ASSERT_NE(thread.get(), nullptr);

    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_TIMEOUT);

    SetEvent(go.get());
    ASSERT_EQ(WaitForSingleObject(thread.get(), kGenerousWaitMs), WAIT_OBJECT_0);
    // A thread stays signalled: every later wait succeeds too.
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
    EXPECT_EQ(exitCode, 42u);
}

TEST(Thread, ClosedThreadHandleIsRefused) {
    std::function<DWORD()> body = [] { return DWORD{0}; };
    const HANDLE thread = StartThread(body);
    ASSERT_EQ(WaitForSingleObject(thread, kGenerousWaitMs), WAIT_OBJECT_0);
    ASSERT_TRUE(CloseHandle(thread));

    DWORD exitCode = 0;
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_NORMAL));
}

TEST(Thread, ClosingTheHandleDoesNotStopTheThread) {
    ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> ranToTheEnd{false};
    std::function<DWORD()> body = [&] {
        WaitForSingleObject(go.get(), INFINITE);
        ranToTheEnd = true;
        SetEvent(done.get());
        return DWORD{0};
    };
    ASSERT_TRUE(CloseHandle(StartThread(body)));
    SetEvent(go.get());
    ASSERT_EQ(WaitForSingleObject(done.get(), kGenerousWaitMs), WAIT_OBJECT_0);
    EXPECT_TRUE(ranToTheEnd);
}

TEST(Thread, ThreadIdIsReportedAtCreationAndDistinctPerThread) {
    DWORD seenInside = 0;
    DWORD seenTwice = 0;
    std::function<DWORD()> body = [&] {
        seenInside = GetCurrentThreadId();
        seenTwice = GetCurrentThreadId();
        return DWORD{0};
    };
    DWORD reported = 0;
    ScopedHandle thread(StartThread(body, &reported));
    ASSERT_EQ(WaitForSingleObject(thread.get(), kGenerousWaitMs), WAIT_OBJECT_0);

    EXPECT_NE(reported, 0u);
    EXPECT_EQ(seenInside, reported);
    EXPECT_EQ(seenTwice, reported);
    EXPECT_NE(GetCurrentThreadId(), reported);
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());

    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, GetCurrentThreadId());
    EXPECT_NE(other, reported);
}

TEST(Thread, PriorityIsRememberedThroughEitherHandle) {
    ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    int seenInside = -1;
    BOOL setInside = FALSE;
    std::function<DWORD()> body = [&] {
        WaitForSingleObject(go.get(), INFINITE);
        seenInside = GetThreadPriority(GetCurrentThread());
        setInside = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        return DWORD{0};
    };
    ScopedHandle thread(StartThread(body));
    EXPECT_EQ(GetThreadPriority(thread.get()), THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(SetThreadPriority(thread.get(), THREAD_PRIORITY_LOWEST));
    SetEvent(go.get());
    ASSERT_EQ(WaitForSingleObject(thread.get(), kGenerousWaitMs), WAIT_OBJECT_0);

    EXPECT_EQ(seenInside, THREAD_PRIORITY_LOWEST);
    EXPECT_TRUE(setInside);
    EXPECT_EQ(GetThreadPriority(thread.get()), THREAD_PRIORITY_HIGHEST);
}

TEST(Thread, PseudoHandleNamesTheCallingThreadOfAnyOrigin) {
    // A thread the stand-in did not start, so the test's own thread keeps its priority.
    std::thread([] {
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
        DWORD exitCode = 0;
        EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &exitCode));
        EXPECT_EQ(exitCode, STILL_ACTIVE);
    }).join();
    // Each thread has its own priority.
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    // Closing the pseudo handle has no effect.
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
}

TEST(Thread, PrioritiesOutsideTheEightLevelsAreRefused) {
    std::thread([] {
        for (int priority : {-1, 8, THREAD_PRIORITY_ERROR_RETURN}) {
            SetLastError(0);
            EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), priority)) << priority;
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        }
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE));
    }).join();
}

TEST(Thread, CreateRefusesWhatItCannotRun) {
    std::function<DWORD()> body = [] { return DWORD{0}; };
    SetLastError(0);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(CreateThread(nullptr, 0, RunCallable, &body, CREATE_SUSPENDED, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    SetLastError(0);
    EXPECT_FALSE(GetExitCodeThread(GetCurrentThread(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Thread, ManyThreadsEachReportTheirOwnExitCode) {
    constexpr DWORD kThreads = 16;
    std::vector<std::function<DWORD()>> bodies;
    for (DWORD i = 0; i < kThreads; ++i) {
        bodies.emplace_back([i] { return 1000 + i; });
    }
    std::vector<HANDLE> threads;
    for (auto& body : bodies) {
        threads.push_back(StartThread(body));
    }
    for (DWORD i = 0; i < kThreads; ++i) {
        ASSERT_EQ(WaitForSingleObject(threads[i], kGenerousWaitMs), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        EXPECT_TRUE(GetExitCodeThread(threads[i], &exitCode));
        EXPECT_EQ(exitCode, 1000 + i);
        CloseHandle(threads[i]);
    }
}

}  // namespace
