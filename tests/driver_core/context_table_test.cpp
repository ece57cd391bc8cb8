// The live-context table: cookies name one registration of one context, and anything else is
// refused.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "core/context_table.h"

namespace {

struct SignedContext {
    SignedContext() { context.dwSig = DEVICE_SIG; }
    DEVICE_CONTEXT context{};
};

// Registers contexts and unregisters whatever is left at the end of a test.
class ContextTableTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (DWORD cookie : cookies_) {
            UnregisterContext(cookie);
        }
    }
    DWORD Register(DEVICE_CONTEXT* pDevice) {
        const DWORD cookie = RegisterContext(pDevice);
        if (cookie != 0) {
            cookies_.push_back(cookie);
        }
        return cookie;
    }
    std::vector<DWORD> cookies_;
};

TEST_F(ContextTableTest, RegisteredContextResolvesByItsCookie) {
    SignedContext a, b;
    const DWORD cookieA = Register(&a.context);
    const DWORD cookieB = Register(&b.context);
    ASSERT_NE(cookieA, 0u);
    ASSERT_NE(cookieB, 0u);
    EXPECT_NE(cookieA, cookieB);
    EXPECT_EQ(ResolveContext(cookieA), &a.context);
    EXPECT_EQ(ResolveContext(cookieB), &b.context);
}

TEST_F(ContextTableTest, StaleCookieIsRefusedEvenWhenTheSlotIsReused) {
    SignedContext a, b;
    const DWORD stale = Register(&a.context);
    UnregisterContext(stale);
    EXPECT_EQ(ResolveContext(stale), nullptr);

    // The freed slot is taken again: the new cookie differs, the old one stays refused.
    const DWORD fresh = Register(&b.context);
    ASSERT_NE(fresh, 0u);
    EXPECT_NE(fresh, stale);
    EXPECT_EQ(ResolveContext(stale), nullptr);
    EXPECT_EQ(ResolveContext(fresh), &b.context);

    UnregisterContext(stale);  // a stale cookie cannot take out the new occupant
    EXPECT_EQ(ResolveContext(fresh), &b.context);
}

TEST_F(ContextTableTest, ForgedCookiesAreRefused) {
    SignedContext a;
    const DWORD cookie = Register(&a.context);
    ASSERT_NE(cookie, 0u);
    EXPECT_EQ(ResolveContext(0), nullptr);
    EXPECT_EQ(ResolveContext(cookie ^ 0x10u), nullptr);      // other generation
    EXPECT_EQ(ResolveContext(cookie + 0x100000u), nullptr);  // other generation
    EXPECT_EQ(ResolveContext((cookie & ~0xFu) | ((cookie + 1) & 0xFu)), nullptr);  // other slot
    EXPECT_EQ(ResolveContext(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(ResolveContext(CookieFromParameter(reinterpret_cast<LPVOID>(&a.context))), nullptr);
}

TEST_F(ContextTableTest, ContextWithoutSignatureIsRefused) {
    SignedContext a;
    const DWORD cookie = Register(&a.context);
    a.context.dwSig = 0;
    EXPECT_EQ(ResolveContext(cookie), nullptr);
    a.context.dwSig = DEVICE_SIG;
    EXPECT_EQ(ResolveContext(cookie), &a.context);
}

TEST_F(ContextTableTest, FullTableRefusesAndRecoversWhenASlotFrees) {
    std::vector<std::unique_ptr<SignedContext>> contexts;
    contexts.reserve(kMaxDeviceContexts);
    DWORD lastCookie = 0;
    for (DWORD i = 0; i < kMaxDeviceContexts; ++i) {
        contexts.push_back(std::make_unique<SignedContext>());
        lastCookie = Register(&contexts.back()->context);
        ASSERT_NE(lastCookie, 0u) << "slot " << i;
    }
    SignedContext extra;
    EXPECT_EQ(RegisterContext(&extra.context), 0u);

    UnregisterContext(lastCookie);
    EXPECT_NE(Register(&extra.context), 0u);
}

TEST_F(ContextTableTest, ConcurrentRegistrationsGetDistinctLiveCookies) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&mismatches] {
            SignedContext mine;
            for (int i = 0; i < kRounds; ++i) {
                const DWORD cookie = RegisterContext(&mine.context);
                if (cookie == 0 || ResolveContext(cookie) != &mine.context) {
                    ++mismatches;
                }
                UnregisterContext(cookie);
                if (ResolveContext(cookie) != nullptr) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
