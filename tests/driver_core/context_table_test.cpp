// The live-context table: cookies name one registration of one context, and anything else is
// refused.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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

TEST_F(ContextTableTest, OnlyTheCookieOfALiveSignedRegistrationResolves) {
    SignedContext a, b, c;
    const DWORD stale = Register(&a.context);
    UnregisterContext(stale);
    EXPECT_EQ(ResolveContext(stale), nullptr);
    // The freed slot is taken again: the new cookie differs, the old one stays refused.
    const DWORD fresh = Register(&b.context);
    const DWORD other = Register(&c.context);
    ASSERT_NE(fresh, 0u);
    EXPECT_NE(fresh, stale);
    EXPECT_NE(fresh, other);
    EXPECT_EQ(ResolveContext(fresh), &b.context);
    EXPECT_EQ(ResolveContext(other), &c.context);
    UnregisterContext(stale);  // a stale cookie cannot take out the new occupant
    EXPECT_EQ(ResolveContext(fresh), &b.context);
    for (DWORD forged :
         {stale, DWORD{0}, fresh ^ 0x10u, fresh + 0x100000u, (fresh & ~0xFu) | ((fresh + 2) & 0xFu),
          DWORD{0xFFFFFFFFu}, CookieFromParameter(reinterpret_cast<LPVOID>(&b.context))}) {
        EXPECT_EQ(ResolveContext(forged), nullptr) << std::hex << forged;
    }
    b.context.dwSig = 0;
    EXPECT_EQ(ResolveContext(fresh), nullptr) << "unsigned";
}

TEST_F(ContextTableTest, FullTableRefusesAndRecoversWhenASlotFrees) {
    std::vector<std::unique_ptr<SignedContext>> contexts;
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
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&mismatches] {
            SignedContext mine;
            for (int i = 0; i < 2000; ++i) {
                const DWORD cookie = RegisterContext(&mine.context);
                mismatches += cookie == 0 || ResolveContext(cookie) != &mine.context;
                UnregisterContext(cookie);
                mismatches += ResolveContext(cookie) != nullptr;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
