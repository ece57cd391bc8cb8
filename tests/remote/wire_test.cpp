// The socket protocol's frames and stream messages against bytes written out by hand from the
// layout, and every way a payload can fail to match its fields.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "ce/host/stream_wire.h"
#include "support/hex_bytes.h"
#include "support/records.h"

namespace {

namespace wire = ce::host::wire;
using ots::test::Bytes;
using ots::test::Hex;

// flags 7: input, output and a count returned
const wire::IoControlRequest kSample{
    1, 0x80002014u, 2, 3, 7, 0x99, {0xA1, 0xA2}, {0xB1, 0xB2, 0xB3}};

TEST(Wire, MessagesMatchTheirLayoutAndDecodeBack) {
    std::uint8_t header[wire::kHeaderSize];
    wire::StoreHeader(header, {0x10, wire::kIoControlRequest, 0, 0x12345678u});
    EXPECT_EQ(Bytes(header, header + 12), Hex("10 00 00 00 03 00 00 00 78 56 34 12"));
    const auto loaded = wire::LoadHeader(
        ots::test::ArrayOf<wire::kHeaderSize>(Hex("FF FF FF FF 02 01 07 00 01 00 00 80")));
    EXPECT_EQ(std::make_tuple(loaded.payloadLength, loaded.type, loaded.reserved, loaded.requestId),
              std::make_tuple(0xFFFFFFFFu, std::uint16_t{0x0102}, std::uint16_t{7}, 0x80000001u));
    const Bytes open =
        Hex("00 00 00 C0 03 00 00 00 05 00 00 00 4F 00 00 00 54 00 00 00 53 00 00 00 "
            "31 00 00 00 3A 00 00 00");
    const Bytes ioctl =
        Hex("01 00 00 00 14 20 00 80 02 00 00 00 03 00 00 00 07 00 00 00 99 00 00 00 "
            "A1 A2 B1 B2 B3");
    const Bytes reply = Hex("01 00 00 00 57 00 00 00 06 00 00 00 06 00 00 00 01 02 03 04 05 06");
    const std::tuple<const char*, Bytes, Bytes> cases[] = {
        {"open", wire::Encode(wire::OpenRequest{0xC0000000u, 3, L"OTS1:"}), open},
        {"ioctl", wire::Encode(kSample), ioctl},
        {"lengths without buffers",
         wire::Encode(wire::IoControlRequest{1, 0x80002014u, 2, 3, 0, 0, {}, {}}),
         Hex("01 00 00 00 14 20 00 80 02 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00")},
        {"ioctl reply", wire::Encode(wire::IoControlReply{TRUE, 87, 6, {1, 2, 3, 4, 5, 6}}), reply},
        {"close", wire::Encode(wire::CloseRequest{0x01020304u}), Hex("04 03 02 01")},
        {"decoded open", wire::Encode(wire::DecodeOpenRequest(open).value()), open},
        {"decoded ioctl", wire::Encode(wire::DecodeIoControlRequest(ioctl).value()), ioctl},
        {"decoded reply", wire::Encode(wire::DecodeIoControlReply(reply).value()), reply},
    };
    for (const auto& [name, bytes, expected] : cases) {
        EXPECT_EQ(bytes, expected) << name;
    }
    EXPECT_EQ(wire::DecodeCloseRequest(Hex("04 03 02 01")).value().handle, 0x01020304u);
    EXPECT_EQ(wire::DecodeCloseReply(wire::Encode(wire::CloseReply{FALSE, 6})).value().lastError,
              6u);
}

template <class Decode>
bool Accepts(Decode decode, Bytes bytes, std::size_t at = 0, std::uint8_t value = 0, int grow = 0) {
    bytes.resize(static_cast<std::size_t>(static_cast<int>(bytes.size()) + grow), 0);
    if (at != 0) {
        bytes[at] = value;
    }
    return decode(bytes).has_value();
}

Bytes Carrying(std::size_t in, std::size_t out, DWORD claimedOut = 0) {
    const DWORD flags = (in ? wire::kHasInput : 0) | (out ? wire::kHasOutput : 0);
    return wire::Encode(wire::IoControlRequest{
        0, 0, static_cast<DWORD>(in), static_cast<DWORD>(std::max<std::size_t>(out, claimedOut)),
        flags, 0, Bytes(in, 0x5A), Bytes(out, 0x5A)});
}

TEST(Wire, PayloadsThatDoNotMatchTheirFieldsAreRefused) {
    const auto open = [](const Bytes& b) { return wire::DecodeOpenRequest(b); };
    const auto ioctl = [](const Bytes& b) { return wire::DecodeIoControlRequest(b); };
    const auto reply = [](const Bytes& b) { return wire::DecodeIoControlReply(b); };
    const auto close = [](const Bytes& b) { return wire::DecodeCloseRequest(b); };
    const Bytes name = wire::Encode(wire::OpenRequest{0, 0, L"OTS1:"});
    const Bytes request = wire::Encode(kSample);
    const Bytes answer = wire::Encode(wire::IoControlReply{TRUE, 87, 6, {1, 2, 3, 4, 5, 6}});
    const auto named = [&](std::size_t chars) {
        return Accepts(open, wire::Encode(wire::OpenRequest{0, 0, std::wstring(chars, L'X')}));
    };
    EXPECT_TRUE(named(64));
    EXPECT_TRUE(Accepts(ioctl, Carrying(4096, 0)));
    EXPECT_TRUE(Accepts(ioctl, Carrying(0, 4096)));
    const std::pair<const char*, bool> cases[] = {
        {"a name one character longer than carried", Accepts(open, name, 8, 6)},
        {"a name one character shorter than carried", Accepts(open, name, 8, 4)},
        {"a zero inside the name", Accepts(open, name, 16, 0)},
        {"no name", named(0)},
        {"65 characters", named(65)},
        {"open shorter than its fixed fields", Accepts(open, Bytes(11, 0))},
        {"ioctl one byte short", Accepts(ioctl, request, 0, 0, -1)},
        {"ioctl one byte over", Accepts(ioctl, request, 0, 0, 1)},
        {"an unknown flag", Accepts(ioctl, request, 16, 0x0F)},
        {"ioctl shorter than its fixed fields", Accepts(ioctl, Bytes(23, 0))},
        {"4097 bytes in", Accepts(ioctl, Carrying(4097, 0))},
        {"4097 bytes out", Accepts(ioctl, Carrying(0, 4097))},
        {"4097 bytes claimed, none carried", Accepts(ioctl, Carrying(0, 0, 4097))},
        {"a reply whose output length lies", Accepts(reply, answer, 12, 7)},
        {"close one byte short", Accepts(close, Bytes{4, 3, 2})},
        {"close one byte over", Accepts(close, Bytes{4, 3, 2, 1, 0})},
        {"open reply one byte short", wire::DecodeOpenReply(Bytes(7, 0)).has_value()},
    };
    for (const auto& [caseName, accepted] : cases) {
        EXPECT_FALSE(accepted) << caseName;
    }
}

// How a frame is judged on the wire is checked against a real host, which logs the judgement
// when it drops the connection (remote_host_test.cpp).
TEST(FrameSocket, FramesCrossWholeAndConnectNamesWhatFails) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    wire::FrameSocket a(fds[0]);
    wire::FrameSocket b(fds[1]);
    ASSERT_TRUE(a.Send(wire::kCloseRequest, 77, Bytes{1, 2, 3, 4}));
    EXPECT_FALSE(a.Send(wire::kCloseRequest, 1, Bytes(5, 0))) << "over the type's bound";
    EXPECT_FALSE(a.Send(0x77, 1, Bytes{})) << "an unknown type";
    wire::Frame frame;
    ASSERT_EQ(b.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(std::make_tuple(frame.type, frame.requestId, frame.payload),
              std::make_tuple(wire::kCloseRequest, 77u, Bytes{1, 2, 3, 4}));
    a.Close();
    EXPECT_EQ(b.Receive(frame), wire::ReceiveResult::Closed);
    int error = 0;
    EXPECT_FALSE(wire::FrameSocket::Connect("/nonexistent/ots/devmgr.sock", &error).valid());
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(wire::FrameSocket::Connect(std::string(200, 'x'), &error).valid());
    EXPECT_EQ(error, ENAMETOOLONG);
}

}  // namespace
