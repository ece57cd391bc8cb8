// The vendor command frame: AA, class, code, L, index, payload, checksum (0x55 plus the sum of
// the bytes before it), at most 64 bytes.
#include "protocol/vendor_command.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "support/hex_bytes.h"

namespace ots {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Hex;

// The longest frame: 58 payload bytes i * 3 for i = 5..62, and its checksum.
Bytes LongestFrame() {
    Bytes frame = Hex("AA 01 15 3B 00");
    unsigned sum = 0x55 + 0xAA + 0x01 + 0x15 + 59;
    for (std::size_t i = 5; i < 63; ++i) {
        frame.push_back(static_cast<std::uint8_t>(i * 3));
        sum += frame.back();
    }
    frame.push_back(static_cast<std::uint8_t>(sum));
    return frame;
}

TEST(BuildVendorCommand, WritesTheFrameOrRefusesAndWritesNothing) {
    struct Case {
        const char* name;
        std::uint8_t cls, code, index;
        Bytes payload;
        bool nullPayload;
        std::size_t room;
        Bytes expected;  // empty: refused
    };
    const Bytes longest = LongestFrame();
    const Bytes longPayload(longest.begin() + 5, longest.end() - 1);
    Bytes tooLong = longPayload;
    tooLong.push_back(0);
    const Bytes bracket = Hex("AA 01 71 02 00 01 74");
    const Case cases[] = {
        {"bracket, one payload byte", 1, 0x71, 0, {1}, false, 64, bracket},
        {"block read, no payload", 2, 0x30, 1, {}, true, 64, Hex("AA 02 30 01 01 33")},
        {"checksum wraps", 0xFF, 0xFF, 0xFF, {0xFF}, false, 64, Hex("AA FF FF 02 FF FF FD")},
        {"58 payload bytes fill 64", 1, 0x15, 0, longPayload, false, 64, longest},
        {"exactly n + 6 bytes of room", 1, 0x71, 0, {1}, false, 7, bracket},
        {"59 payload bytes", 1, 0x15, 0, tooLong, false, 80, {}},
        {"one byte short of n + 6", 1, 0x71, 0, {1}, false, 6, {}},
        {"no payload, one byte short", 2, 0x30, 0, {}, true, 5, {}},
        {"58 bytes into 63", 1, 0x15, 0, longPayload, false, 63, {}},
        {"length without payload", 1, 0x71, 0, {1}, true, 64, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes dest(c.room, 0xEE);
        const std::size_t written =
            BuildVendorCommand(c.cls, c.code, c.index, c.nullPayload ? nullptr : c.payload.data(),
                               c.payload.size(), dest);
        EXPECT_EQ(written, c.expected.size());
        Bytes want = c.expected;
        want.resize(c.room, 0xEE);
        EXPECT_EQ(dest, want);
    }
}

TEST(ValidateFrame, GivesThePayloadLengthOrMinusOne) {
    Bytes longest = LongestFrame();
    Bytes shortInBuffer = Hex("AA 02 30 01 01 33");
    shortInBuffer.resize(64, 0xEE);  // the bytes after the frame are not looked at
    Bytes overLong(80, 0);
    overLong[0] = 0xAA;
    overLong[3] = 60;  // claims 65 bytes: over 64 even where the buffer holds them
    overLong[64] = static_cast<std::uint8_t>(0x55 + 0xAA + 60);
    const std::tuple<const char*, Bytes, int> cases[] = {
        {"bracket", Hex("AA 01 71 02 00 01 74"), 1},
        {"no payload", Hex("AA 02 30 01 01 33"), 0},
        {"short frame in a 64-byte buffer", shortInBuffer, 0},
        {"longest frame", longest, 58},
        {"longest frame without its checksum byte", Bytes(longest.begin(), longest.end() - 1), -1},
        {"empty", {}, -1},
        {"no checksum", Hex("AA 02 30 01 01"), -1},
        {"bad sync", Hex("AB 02 30 01 01 34"), -1},
        {"bad checksum", Hex("AA 02 30 01 01 34"), -1},
        {"L = 0", Hex("AA 02 30 00 31 32"), -1},
        {"L beyond the bytes given", Hex("AA 01 71 03 00 01 75"), -1},
        {"L = 60", overLong, -1},
    };
    for (const auto& [name, frame, expected] : cases) {
        EXPECT_EQ(ValidateFrame(frame), expected) << name;
    }
}

TEST(ResponseAcceptance, NeedsSyncMatchingIndexAndResponseClass) {
    // name, sync, class, index, the command's index, accepted
    const std::tuple<const char*, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, bool>
        cases[] = {
            {"response to command 1", 0xAA, 0x12, 1, 1, true},
            {"class 0x10", 0xAA, 0x10, 0, 0, true},
            {"index of another command", 0xAA, 0x12, 0, 1, false},
            {"index of a later command", 0xAA, 0x12, 1, 0, false},
            {"no sync", 0xAB, 0x12, 1, 1, false},
            {"class 0x0F", 0xAA, 0x0F, 0, 0, false},
            {"class 0x21", 0xAA, 0x21, 0, 0, false},
            {"class 0x91", 0xAA, 0x91, 0, 0, false},
        };
    for (const auto& [name, sync, cls, index, commandIndex, accepted] : cases) {
        std::array<std::uint8_t, kVendorPacketSize> r{sync, cls, 0x30, 59, index};
        EXPECT_EQ(IsAcceptedResponse(r, commandIndex), accepted) << name;
    }
}

TEST(FrameHeader, ReadsTheFiveHeaderBytesAndNoSyncFromAShortFrame) {
    const FrameHeader h = ReadFrameHeader(Hex("AA 01 71 02 07 01 74"));
    EXPECT_EQ(Bytes({h.sync, h.cls, h.code, h.length, h.index}), Hex("AA 01 71 02 07"));
    const FrameHeader none = ReadFrameHeader(Hex("AA 02 30 01"));
    EXPECT_EQ(Bytes({none.sync, none.length}), Bytes(2, 0));
}

}  // namespace
}  // namespace ots
