#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "ce/host/heap_stats.h"
#include "ce/kernel.h"

namespace {

using ce::host::LiveLocalBlockCount;
using ce::host::LocalAllocCount;

TEST(LocalHeap, ZeroInitFillsTheBlockWithZeros) {
    constexpr std::size_t kSize = 256;
    // Dirty a block first, so that a reused one would show the old bytes.
    for (int round = 0; round < 8; ++round) {
        auto* dirty = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, kSize));
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xAB, kSize);
        LocalFree(dirty);

        auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, kSize));
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(std::all_of(block, block + kSize, [](unsigned char b) { return b == 0; }))
            << "round " << round;
        LocalFree(block);
    }
}

TEST(LocalHeap, EveryCallIsCountedAndEveryBlockTracked) {
    const std::uint64_t calls = LocalAllocCount();
    const std::int64_t live = LiveLocalBlockCount();

    HLOCAL first = LocalAlloc(LPTR, 16);
    HLOCAL second = LocalAlloc(LMEM_FIXED, 32);
    EXPECT_EQ(LocalAllocCount(), calls + 2);
    EXPECT_EQ(LiveLocalBlockCount(), live + 2);

    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(second), nullptr);
    EXPECT_EQ(LocalAllocCount(), calls + 2);
    EXPECT_EQ(LiveLocalBlockCount(), live);
}

TEST(LocalHeap, UnsupportedFlagsAreRefusedButCounted) {
    constexpr UINT kMoveable = 0x0002;
    const std::uint64_t calls = LocalAllocCount();
    const std::int64_t live = LiveLocalBlockCount();
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(kMoveable, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LocalAllocCount(), calls + 1);
    EXPECT_EQ(LiveLocalBlockCount(), live);
}

TEST(LocalHeap, ZeroByteBlocksAreDistinctAndFreeable) {
    HLOCAL first = LocalAlloc(LPTR, 0);
    HLOCAL second = LocalAlloc(LPTR, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(second), nullptr);
}

TEST(LocalHeap, FreeingNullIsHarmless) {
    const std::int64_t live = LiveLocalBlockCount();
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(LiveLocalBlockCount(), live);
}

TEST(LocalHeap, BlocksBeyondA32BitHeapFailWithOutOfMemory) {
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LPTR, std::size_t{0xFFFFFFFFu} + 1), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

class SafeCopy : public ::testing::Test {
  protected:
    std::array<BYTE, 8> source_{1, 2, 3, 4, 5, 6, 7, 8};
    std::array<BYTE, 8> target_{};

    bool TargetUntouched() const {
        return std::all_of(target_.begin(), target_.end(), [](BYTE b) { return b == 0; });
    }
};

TEST_F(SafeCopy, CopiesTheGivenBytesOnly) {
    EXPECT_TRUE(CeSafeCopyMemory(target_.data(), source_.data(), 5));
    EXPECT_EQ(target_, (std::array<BYTE, 8>{1, 2, 3, 4, 5, 0, 0, 0}));
}

TEST_F(SafeCopy, NullPointersCopyNothing) {
    EXPECT_FALSE(CeSafeCopyMemory(nullptr, source_.data(), 8));
    EXPECT_FALSE(CeSafeCopyMemory(target_.data(), nullptr, 8));
    EXPECT_FALSE(CeSafeCopyMemory(nullptr, nullptr, 0));
    EXPECT_FALSE(CeSafeCopyMemory(target_.data(), nullptr, 0));
    EXPECT_TRUE(TargetUntouched());
}

TEST_F(SafeCopy, ZeroBytesSucceedWithValidPointers) {
    EXPECT_TRUE(CeSafeCopyMemory(target_.data(), source_.data(), 0));
    EXPECT_TRUE(TargetUntouched());
}

TEST_F(SafeCopy, RangesThatWrapAroundTheAddressSpaceAreRefused) {
    // Never dereferenced: the range check refuses them first.
    auto* nearTheEnd = reinterpret_cast<void*>(UINTPTR_MAX - 3);
    EXPECT_FALSE(CeSafeCopyMemory(target_.data(), nearTheEnd, 5));
    EXPECT_FALSE(CeSafeCopyMemory(nearTheEnd, source_.data(), 5));
    EXPECT_FALSE(CeSafeCopyMemory(target_.data(), nearTheEnd, 0xFFFFFFFFu));
    EXPECT_TRUE(TargetUntouched());
}

TEST_F(SafeCopy, OverlappingRangesCopyAsIfThroughABuffer) {
    EXPECT_TRUE(CeSafeCopyMemory(source_.data() + 2, source_.data(), 4));
    EXPECT_EQ(source_, (std::array<BYTE, 8>{1, 2, 1, 2, 3, 4, 7, 8}));
}

}  // namespace
