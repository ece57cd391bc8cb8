#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "ce/host/kernel_object.h"
#include "ce/kernel.h"

namespace {

using ce::host::InsertHandle;
using ce::host::KernelObject;
using ce::host::LiveHandleCount;
using ce::host::LookupHandle;
using ce::host::LookupHandleAs;

class CountingObject : public KernelObject {
  public:
    explicit CountingObject(BOOL closeResult = TRUE) : closeResult_(closeResult) {}
    BOOL OnClose() override {
        ++closes;
        return closeResult_;
    }
    std::atomic<int> closes{0};

  private:
    BOOL closeResult_;
};

class OtherObject : public KernelObject {};

TEST(HandleTable, LookupFindsTheObjectOfItsOwnTypeOnly) {
    auto object = std::make_shared<CountingObject>();
    const HANDLE handle = InsertHandle(object);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_NE(handle, GetCurrentThread());

    EXPECT_EQ(LookupHandle(handle), object);
    EXPECT_EQ(LookupHandleAs<CountingObject>(handle), object);
    EXPECT_EQ(LookupHandleAs<OtherObject>(handle), nullptr);
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(HandleTable, NullObjectGetsNoHandle) {
    EXPECT_EQ(InsertHandle(nullptr), nullptr);
}

TEST(HandleTable, CloseCallsOnCloseOnceAndRefusesTheSecondClose) {
    auto object = std::make_shared<CountingObject>();
    const HANDLE handle = InsertHandle(object);

    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(object->closes, 1);
    EXPECT_EQ(LookupHandle(handle), nullptr);

    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(object->closes, 1);
}

TEST(HandleTable, CloseReportsWhatTheObjectReturns) {
    auto object = std::make_shared<CountingObject>(FALSE);
    EXPECT_FALSE(CloseHandle(InsertHandle(object)));
    EXPECT_EQ(object->closes, 1);
}

TEST(HandleTable, UnknownHandlesAreRefusedWithError6) {
    for (HANDLE bogus : {HANDLE{nullptr}, INVALID_HANDLE_VALUE,
                         reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7FFFFFF0))}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bogus));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(LookupHandle(bogus), nullptr);
    }
}

TEST(HandleTable, OnCloseWaitsForTheLastHandleOfAnObject) {
    auto object = std::make_shared<CountingObject>();
    const HANDLE first = InsertHandle(object);
    const HANDLE second = InsertHandle(object);
    ASSERT_NE(first, second);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(object->closes, 0);
    EXPECT_EQ(LookupHandle(second), object);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(object->closes, 1);
}

TEST(HandleTable, ClosedHandlesAreNeverGivenOutAgain) {
    std::set<HANDLE> seen;
    std::vector<HANDLE> closed;
    for (int i = 0; i < 1000; ++i) {
        const HANDLE handle = InsertHandle(std::make_shared<CountingObject>());
        EXPECT_TRUE(seen.insert(handle).second) << "handle reused: " << handle;
        ASSERT_TRUE(CloseHandle(handle));
        closed.push_back(handle);
    }
    for (HANDLE handle : closed) {
        EXPECT_EQ(LookupHandle(handle), nullptr);
    }
}

TEST(HandleTable, CloseDropsTheTablesReference) {
    auto object = std::make_shared<CountingObject>();
    const std::weak_ptr<CountingObject> watch = object;
    const HANDLE handle = InsertHandle(std::move(object));
    EXPECT_FALSE(watch.expired());
    CloseHandle(handle);
    EXPECT_TRUE(watch.expired());
}

TEST(HandleTable, LiveCountFollowsInsertAndClose) {
    const std::size_t before = LiveHandleCount();
    const HANDLE handle = InsertHandle(std::make_shared<CountingObject>());
    EXPECT_EQ(LiveHandleCount(), before + 1);
    CloseHandle(handle);
    EXPECT_EQ(LiveHandleCount(), before);
}

TEST(HandleTable, ConcurrentUseGivesUniqueHandlesAndLeavesNoneBehind) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    const std::size_t before = LiveHandleCount();
    std::vector<std::vector<HANDLE>> handles(kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                auto object = std::make_shared<CountingObject>();
                const HANDLE handle = InsertHandle(object);
                if (LookupHandle(handle) != object || !CloseHandle(handle) || object->closes != 1) {
                    ++failures;
                }
                handles[t].push_back(handle);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    std::set<HANDLE> unique;
    for (const auto& list : handles) {
        unique.insert(list.begin(), list.end());
    }
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(LiveHandleCount(), before);
}

}  // namespace
