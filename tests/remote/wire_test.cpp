// The socket protocol's frames and stream messages against bytes written out by hand from the
// layout, and every way a payload can fail to match its fields.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "ce/host/stream_wire.h"

namespace {

namespace wire = ce::host::wire;
using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::uint32_t length, std::uint16_t type, std::uint16_t reserved = 0) {
    std::uint8_t bytes[wire::kHeaderSize];
    wire::StoreHeader(bytes, {length, type, reserved, 0x12345678u});
    return {bytes, bytes + wire::kHeaderSize};
}

wire::IoControlRequest SampleRequest() {
    wire::IoControlRequest request;
    request.handle = 1;
    request.code = 0x80002014u;
    request.inLength = 2;
    request.outLength = 3;
    request.flags = wire::kHasInput | wire::kHasOutput | wire::kHasBytesReturned;
    request.bytesReturned = 0x99;
    request.input = {0xA1, 0xA2};
    request.output = {0xB1, 0xB2, 0xB3};
    return request;
}

TEST(Wire, MessagesMatchTheirLayoutAndDecodeBack) {
    const std::uint8_t handWritten[wire::kHeaderSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x01,
                                                         0x07, 0x00, 0x01, 0x00, 0x00, 0x80};
    const wire::FrameHeader header = wire::LoadHeader(handWritten);
    EXPECT_EQ(header.type, 0x0102);
    EXPECT_EQ(header.reserved, 7);
    EXPECT_EQ(header.payloadLength, 0xFFFFFFFFu);
    EXPECT_EQ(header.requestId, 0x80000001u);
    const std::pair<const char*, std::pair<Bytes, Bytes>> cases[] = {
        {"header",
         {Header(0x10, wire::kIoControlRequest),
          {0x10, 0, 0, 0, 0x03, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}}},
        {"open",
         {wire::Encode(wire::OpenRequest{0xC0000000u, 3, L"OTS1:"}),
          {0,   0, 0, 0xC0, 3,   0, 0, 0, 5,   0, 0, 0, 'O', 0, 0, 0,
           'T', 0, 0, 0,    'S', 0, 0, 0, '1', 0, 0, 0, ':', 0, 0, 0}}},
        {"ioctl",
         {wire::Encode(SampleRequest()),
          {0x01, 0,    0, 0, 0x14, 0x20, 0x00, 0x80, 0x02, 0,    0,    0,    0x03, 0,   0,
           0,    0x07, 0, 0, 0,    0x99, 0,    0,    0,    0xA1, 0xA2, 0xB1, 0xB2, 0xB3}}},
        {"ioctl reply",
         {wire::Encode(wire::IoControlReply{TRUE, 87, 6, {1, 2, 3, 4, 5, 6}}),
          {1, 0, 0, 0, 87, 0, 0, 0, 6, 0, 0, 0, 6, 0, 0, 0, 1, 2, 3, 4, 5, 6}}},
        {"close", {wire::Encode(wire::CloseRequest{0x01020304u}), {4, 3, 2, 1}}},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(bytes.first, bytes.second) << name;
    }
    const auto open = wire::DecodeOpenRequest(cases[1].second.second);
    ASSERT_TRUE(open);
    EXPECT_EQ(std::make_tuple(open->access, open->share, open->name),
              std::make_tuple(0xC0000000u, 3u, std::wstring(L"OTS1:")));
    const auto ioctl = wire::DecodeIoControlRequest(cases[2].second.second);
    ASSERT_TRUE(ioctl);
    EXPECT_EQ(wire::Encode(*ioctl), cases[2].second.second);
    const auto reply = wire::DecodeIoControlReply(cases[3].second.second);
    ASSERT_TRUE(reply);
    EXPECT_EQ(wire::Encode(*reply), cases[3].second.second);
    EXPECT_EQ(wire::DecodeCloseRequest(cases[4].second.second)->handle, 0x01020304u);
    const auto closeReply = wire::DecodeCloseReply(wire::Encode(wire::CloseReply{FALSE, 6}));
    ASSERT_TRUE(closeReply);
    EXPECT_EQ(closeReply->lastError, 6u);

    wire::IoControlRequest absent = SampleRequest();  // lengths without buffers
    absent.flags = 0;
    absent.input.clear();
    absent.output.clear();
    const auto decoded = wire::DecodeIoControlRequest(wire::Encode(absent));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::make_pair(decoded->inLength, decoded->outLength), std::make_pair(2u, 3u));
    EXPECT_EQ(wire::Encode(absent).size(), wire::kIoControlRequestFixedSize);
}

template <class Decode>
bool Accepts(Decode decode, Bytes bytes, std::size_t at = 0, std::uint8_t value = 0, int grow = 0) {
    if (grow >= 0) {
        bytes.resize(bytes.size() + static_cast<std::size_t>(grow), 0);
    } else {
        bytes.resize(bytes.size() - static_cast<std::size_t>(-grow));
    }
    if (at != 0) {
        bytes[at] = value;
    }
    return decode(bytes).has_value();
}

TEST(Wire, PayloadsThatDoNotMatchTheirFieldsAreRefused) {
    const auto open = [](const Bytes& b) { return wire::DecodeOpenRequest(b); };
    const auto ioctl = [](const Bytes& b) { return wire::DecodeIoControlRequest(b); };
    const auto reply = [](const Bytes& b) { return wire::DecodeIoControlReply(b); };
    const auto close = [](const Bytes& b) { return wire::DecodeCloseRequest(b); };
    const Bytes name = wire::Encode(wire::OpenRequest{0, 0, L"OTS1:"});
    const Bytes request = wire::Encode(SampleRequest());
    const Bytes answer = wire::Encode(wire::IoControlReply{TRUE, 87, 6, {1, 2, 3, 4, 5, 6}});
    wire::IoControlRequest big;
    big.flags = wire::kHasInput;
    big.input.assign(4096, 0x5A);
    big.inLength = 4096;
    wire::IoControlRequest bigOut;
    bigOut.flags = wire::kHasOutput;
    bigOut.output.assign(4096, 0x5A);
    bigOut.outLength = 4096;
    const Bytes longest = wire::Encode(wire::OpenRequest{0, 0, std::wstring(64, L'X')});
    EXPECT_TRUE(Accepts(open, longest)) << "64 characters";
    EXPECT_TRUE(Accepts(ioctl, wire::Encode(big))) << "4096 bytes in";
    EXPECT_TRUE(Accepts(ioctl, wire::Encode(bigOut))) << "4096 bytes out";
    big.input.push_back(0);
    big.inLength = 4097;
    wire::IoControlRequest claimed;
    claimed.outLength = 4097;
    struct Case {
        const char* name;
        bool accepted;
    };
    const Case cases[] = {
        {"a name one character longer than carried", Accepts(open, name, 8, 6)},
        {"a name one character shorter than carried", Accepts(open, name, 8, 4)},
        {"a zero inside the name", Accepts(open, name, 16, 0)},
        {"no name", Accepts(open, wire::Encode(wire::OpenRequest{0, 0, L""}))},
        {"65 characters",
         Accepts(open, wire::Encode(wire::OpenRequest{0, 0, std::wstring(65, L'X')}))},
        {"open shorter than its fixed fields", Accepts(open, Bytes(11, 0))},
        {"ioctl one byte short", Accepts(ioctl, request, 0, 0, -1)},
        {"ioctl one byte over", Accepts(ioctl, request, 0, 0, 1)},
        {"an unknown flag", Accepts(ioctl, request, 16, 0x0F)},
        {"ioctl shorter than its fixed fields", Accepts(ioctl, Bytes(23, 0))},
        {"4097 bytes in", Accepts(ioctl, wire::Encode(big))},
        {"4097 bytes claimed, none carried", Accepts(ioctl, wire::Encode(claimed))},
        {"a reply whose output length lies", Accepts(reply, answer, 12, 7)},
        {"close one byte short", Accepts(close, Bytes{4, 3, 2})},
        {"close one byte over", Accepts(close, Bytes{4, 3, 2, 1, 0})},
        {"open reply one byte short", wire::DecodeOpenReply(Bytes(7, 0)).has_value()},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.accepted) << c.name;
    }
}

TEST(FrameSocket, FramesCrossWholeAndReceiveJudgesTheHeaderFirst) {
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

    Bytes cut = Header(4, wire::kCloseRequest);
    cut.push_back(1);
    const std::pair<Bytes, wire::ReceiveResult> cases[] = {
        {Header(0xFFFFFFFFu, wire::kIoControlRequest), wire::ReceiveResult::Oversized},
        {Header(24 + 2 * 4096 + 1, wire::kIoControlRequest), wire::ReceiveResult::Oversized},
        {Header(5, wire::kCloseRequest), wire::ReceiveResult::Oversized},
        {Header(0, 0x77), wire::ReceiveResult::UnknownType},
        {Header(4, wire::kCloseRequest, 1), wire::ReceiveResult::BadHeader},
        {Bytes{1, 2, 3, 4, 5}, wire::ReceiveResult::Truncated},
        {cut, wire::ReceiveResult::Truncated},
    };
    for (const auto& [bytes, expected] : cases) {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        wire::FrameSocket sender(fds[0]);
        wire::FrameSocket receiver(fds[1]);
        ASSERT_TRUE(sender.SendRaw(bytes));
        sender.Shutdown();  // nothing more comes: an oversized frame must not wait for it
        wire::Frame judged;
        EXPECT_EQ(receiver.Receive(judged), expected) << wire::Describe(expected);
        EXPECT_TRUE(judged.payload.empty());
    }
    int error = 0;
    EXPECT_FALSE(wire::FrameSocket::Connect("/nonexistent/ots/devmgr.sock", &error).valid());
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(wire::FrameSocket::Connect(std::string(200, 'x'), &error).valid());
    EXPECT_EQ(error, ENAMETOOLONG);
}

}  // namespace
