#include "protocol/vendor_command.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "record_patterns.h"

namespace ots {
namespace {

using Packet = std::array<std::uint8_t, kVendorPacketSize>;

std::vector<std::uint8_t> Prefix(const Packet& p, std::size_t n) {
    return {p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(VendorChecksum, Is55PlusTheSumModulo256) {
    EXPECT_EQ(VendorChecksum({}), 0x55);
    const std::array<std::uint8_t, 6> bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01};
    EXPECT_EQ(VendorChecksum(bytes), 0x74);
    const std::array<std::uint8_t, 2> wraps{0xFF, 0xFF};  // 0x55 + 0x1FE = 0x253
    EXPECT_EQ(VendorChecksum(wraps), 0x53);
}

TEST(BuildVendorCommand, BracketCommandWithOnePayloadByte) {
    Packet dest = test::FilledBytes<kVendorPacketSize>(0xEE);
    const std::uint8_t payload[] = {1};
    ASSERT_EQ(BuildVendorCommand(1, 0x71, 0, payload, 1, dest), 7u);
    EXPECT_EQ(Prefix(dest, 8),
              (std::vector<std::uint8_t>{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74, 0xEE}));
}

TEST(BuildVendorCommand, BlockReadWithoutPayload) {
    Packet dest = test::FilledBytes<kVendorPacketSize>(0xEE);
    ASSERT_EQ(BuildVendorCommand(2, 0x30, 1, nullptr, 0, dest), 6u);
    EXPECT_EQ(Prefix(dest, 7),
              (std::vector<std::uint8_t>{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33, 0xEE}));
}

TEST(BuildVendorCommand, FullPayloadFillsExactly64Bytes) {
    const auto payload = test::CountingBytes<kMaxVendorPayload>(0x01);
    Packet dest = test::FilledBytes<kVendorPacketSize>(0xEE);
    ASSERT_EQ(BuildVendorCommand(1, 0x31, 1, payload.data(), payload.size(), dest), 64u);
    EXPECT_EQ(dest[0], 0xAA);
    EXPECT_EQ(dest[1], 0x01);
    EXPECT_EQ(dest[2], 0x31);
    EXPECT_EQ(dest[3], 59);
    EXPECT_EQ(dest[4], 0x01);
    unsigned sum = 0x55 + 0xAA + 0x01 + 0x31 + 59 + 0x01;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        EXPECT_EQ(dest[5 + i], payload[i]) << "payload byte " << i;
        sum += payload[i];
    }
    EXPECT_EQ(dest[63], static_cast<std::uint8_t>(sum));
}

TEST(BuildVendorCommand, RefusesWhatDoesNotFitAndWritesNothing) {
    const auto payload = test::CountingBytes<kMaxVendorPayload + 1>(0x01);
    const Packet untouched = test::FilledBytes<kVendorPacketSize>(0xEE);

    std::array<std::uint8_t, 80> roomy{};
    roomy.fill(0xEE);
    EXPECT_EQ(BuildVendorCommand(1, 0x31, 1, payload.data(), 59, roomy), 0u);
    EXPECT_EQ(roomy, test::FilledBytes<80>(0xEE));

    Packet dest = untouched;
    // One byte short of n + 6.
    EXPECT_EQ(BuildVendorCommand(1, 0x71, 0, payload.data(), 1, std::span(dest).first(6)), 0u);
    EXPECT_EQ(BuildVendorCommand(2, 0x30, 0, nullptr, 0, std::span(dest).first(5)), 0u);
    EXPECT_EQ(BuildVendorCommand(1, 0x31, 0, payload.data(), 58, std::span(dest).first(63)), 0u);
    EXPECT_EQ(BuildVendorCommand(1, 0x71, 0, nullptr, 1, dest), 0u);  // no payload to copy
    EXPECT_EQ(dest, untouched);

    // Exactly n + 6 is enough.
    EXPECT_EQ(BuildVendorCommand(1, 0x71, 0, payload.data(), 1, std::span(dest).first(7)), 7u);
}

Packet Response(std::uint8_t cls, std::uint8_t index) {
    Packet r{};
    r[0] = 0xAA;
    r[1] = cls;
    r[2] = 0x30;
    r[3] = 59;
    r[4] = index;
    return r;
}

TEST(ResponseAcceptance, NeedsSyncMatchingIndexAndResponseClass) {
    EXPECT_TRUE(IsAcceptedResponse(Response(0x12, 1), 1));
    EXPECT_FALSE(IsAcceptedResponse(Response(0x12, 0), 1)) << "wrong index";
    EXPECT_FALSE(IsAcceptedResponse(Response(0x12, 1), 0)) << "wrong index";
    Packet noSync = Response(0x12, 1);
    noSync[0] = 0xAB;
    EXPECT_FALSE(IsAcceptedResponse(noSync, 1));
    EXPECT_FALSE(IsAcceptedResponse(Packet{}, 0)) << "all zero, index 0";
}

TEST(ResponseAcceptance, ClassHighNibbleMustBeOne) {
    for (unsigned cls = 0x10; cls <= 0x1F; ++cls) {
        EXPECT_TRUE(IsAcceptedResponse(Response(static_cast<std::uint8_t>(cls), 0), 0))
            << std::hex << cls;
    }
    for (unsigned cls : {0x00u, 0x01u, 0x02u, 0x0Fu, 0x20u, 0x21u, 0x91u, 0xF1u}) {
        EXPECT_FALSE(IsAcceptedResponse(Response(static_cast<std::uint8_t>(cls), 0), 0))
            << std::hex << cls;
    }
}

TEST(FrameHeader, ReadsTheFiveHeaderBytes) {
    const std::array<std::uint8_t, 7> frame{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
    const FrameHeader h = ReadFrameHeader(frame);
    EXPECT_EQ(h.sync, 0xAA);
    EXPECT_EQ(h.cls, 0x01);
    EXPECT_EQ(h.code, 0x71);
    EXPECT_EQ(h.length, 0x02);
    EXPECT_EQ(h.index, 0x00);
}

TEST(FrameHeader, ShortFrameReadsAsNoSync) {
    const std::array<std::uint8_t, 4> frame{0xAA, 0x02, 0x30, 0x01};
    const FrameHeader h = ReadFrameHeader(frame);
    EXPECT_EQ(h.sync, 0);
    EXPECT_EQ(h.length, 0);
}

TEST(ValidateFrame, AcceptsWellFormedCommands) {
    const std::array<std::uint8_t, 7> bracket{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
    EXPECT_EQ(ValidateFrame(bracket), 1);
    const std::array<std::uint8_t, 6> read{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};
    EXPECT_EQ(ValidateFrame(read), 0);

    // A short command at the start of a 64-byte buffer: the bytes after it are not looked at.
    Packet buffer = test::FilledBytes<kVendorPacketSize>(0xEE);
    std::copy(read.begin(), read.end(), buffer.begin());
    EXPECT_EQ(ValidateFrame(buffer), 0);
}

TEST(ValidateFrame, AcceptsTheLongestFrameOf64Bytes) {
    Packet frame{};
    frame[0] = 0xAA;
    frame[1] = 0x01;
    frame[2] = 0x15;
    frame[3] = 59;
    unsigned sum = 0x55 + 0xAA + 0x01 + 0x15 + 59;
    for (std::size_t i = 5; i < 63; ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 3);
        sum += frame[i];
    }
    frame[63] = static_cast<std::uint8_t>(sum);
    EXPECT_EQ(ValidateFrame(frame), 58);
    EXPECT_EQ(ValidateFrame(std::span(frame).first(63)), -1) << "checksum byte missing";
}

TEST(ValidateFrame, RejectsMalformedFrames) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(ValidateFrame(Bytes{}), -1);
    EXPECT_EQ(ValidateFrame(Bytes{0xAA, 0x02, 0x30, 0x01, 0x01}), -1) << "no checksum";
    EXPECT_EQ(ValidateFrame(Bytes{0xAB, 0x02, 0x30, 0x01, 0x01, 0x34}), -1) << "sync";
    EXPECT_EQ(ValidateFrame(Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x34}), -1) << "checksum";
    EXPECT_EQ(ValidateFrame(Bytes{0xAA, 0x02, 0x30, 0x00, 0x31, 0x32}), -1) << "L = 0";
    EXPECT_EQ(ValidateFrame(Bytes{0xAA, 0x01, 0x71, 0x03, 0x00, 0x01, 0x75}), -1)
        << "L beyond the bytes given";

    // L = 60 claims 65 bytes: over 64 even where the buffer holds them.
    std::array<std::uint8_t, 80> big{};
    big[0] = 0xAA;
    big[3] = 60;
    unsigned sum = 0x55 + 0xAA + 60;
    big[64] = static_cast<std::uint8_t>(sum);
    EXPECT_EQ(ValidateFrame(big), -1);
    big[3] = 0xFF;
    EXPECT_EQ(ValidateFrame(big), -1);
}

}  // namespace
}  // namespace ots
