#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "ce/host/clock.h"
#include "ce/kernel.h"

namespace {

using namespace std::chrono_literals;
using ce::host::GetTimeScale;
using ce::host::PlatformNowMs;
using ce::host::ScopedTimeScale;
using ce::host::SetTimeScale;
using ce::host::ToRealDuration;

TEST(Clock, ScaleRefusesValuesThatAreNotPositive) {
    ScopedTimeScale restore(0.5);
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        SetTimeScale(bad);
        EXPECT_EQ(GetTimeScale(), 0.5) << bad;
    }
}

TEST(Clock, ScopedScaleRestoresThePreviousScaleInOrder) {
    const double original = GetTimeScale();
    {
        ScopedTimeScale outer(0.25);
        {
            ScopedTimeScale inner(4.0);
            EXPECT_EQ(GetTimeScale(), 4.0);
        }
        EXPECT_EQ(GetTimeScale(), 0.25);
    }
    EXPECT_EQ(GetTimeScale(), original);
}

TEST(Clock, RealDurationFollowsTheScale) {
    {
        ScopedTimeScale half(0.5);
        EXPECT_EQ(ToRealDuration(100), 50ms);
    }
    {
        ScopedTimeScale twice(2.0);
        EXPECT_EQ(ToRealDuration(100), 200ms);
        EXPECT_EQ(ToRealDuration(0), 0ns);
        EXPECT_EQ(ToRealDuration(-5), 0ns);
        // The longest timed wait must not overflow into a negative duration.
        EXPECT_GT(ToRealDuration(INFINITE - 1.0), 0ns);
        EXPECT_GT(ToRealDuration(1e300), 0ns);
    }
}

TEST(Clock, PlatformTimeStaysContinuousAcrossScaleChanges) {
    ScopedTimeScale slow(1.0);
    Sleep(20);
    const double beforeFast = PlatformNowMs();
    SetTimeScale(0.01);
    const double afterFast = PlatformNowMs();
    SetTimeScale(100.0);
    const double afterSlow = PlatformNowMs();

    EXPECT_GE(afterFast, beforeFast);
    EXPECT_GE(afterSlow, afterFast);
    // Re-reading all time since start at the new scale would jump by about 100 times it.
    EXPECT_LT(afterFast - beforeFast, 500.0);
}

TEST(Clock, SleepRunsOnTheScaledClock) {
    ScopedTimeScale fast(0.01);
    const double platformStart = PlatformNowMs();
    const auto realStart = std::chrono::steady_clock::now();
    Sleep(1000);
    EXPECT_GE(PlatformNowMs() - platformStart, 999.9);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);
}

TEST(Clock, TickCountReadsThePlatformClock) {
    ScopedTimeScale fast(0.01);
    const double before = PlatformNowMs();
    Sleep(500);
    const DWORD tick = GetTickCount();
    const double after = PlatformNowMs();
    EXPECT_GE(static_cast<double>(tick), std::floor(before) + 500);
    EXPECT_LE(static_cast<double>(tick), after);
}

}  // namespace
