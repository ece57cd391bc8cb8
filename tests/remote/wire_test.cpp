// The socket protocol's frames and stream messages: bytes written out by hand from the layout,
// round trips, and every way a payload can fail to match its fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "ce/host/stream_wire.h"

namespace {

namespace wire = ce::host::wire;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(WireHeader, IsLaidOutLittleEndianAtFixedOffsets) {
    std::uint8_t bytes[wire::kHeaderSize];
    wire::StoreHeader(bytes, {0x00000010u, wire::kIoControlRequest, 0, 0x12345678u});
    EXPECT_THAT(
        bytes, ElementsAre(0x10, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12));

    const std::uint8_t handWritten[wire::kHeaderSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x01,
                                                         0x07, 0x00, 0x01, 0x00, 0x00, 0x80};
    const wire::FrameHeader header = wire::LoadHeader(handWritten);
    EXPECT_EQ(header.payloadLength, 0xFFFFFFFFu);
    EXPECT_EQ(header.type, 0x0102);
    EXPECT_EQ(header.reserved, 7);
    EXPECT_EQ(header.requestId, 0x80000001u);
}

TEST(WireHeader, BoundsFollowTheLargestLegalPayloadOfEachType) {
    EXPECT_EQ(wire::MaxPayload(wire::kOpenRequest), 12u + 64u * 4u);
    EXPECT_EQ(wire::MaxPayload(wire::kIoControlRequest), 24u + 2u * 4096u);
    EXPECT_EQ(wire::MaxPayload(wire::kIoControlReply), 16u + 4096u);
    EXPECT_EQ(wire::MaxPayload(wire::kCloseRequest), 4u);
    EXPECT_EQ(wire::MaxPayload(wire::kControlRequest), wire::kMaxControlPayload);
    for (const int unknown : {0, 8, 0xFF, 0x103, 0xFFFF}) {
        EXPECT_EQ(wire::MaxPayload(static_cast<std::uint16_t>(unknown)), 0u) << unknown;
    }
}

TEST(WireOpen, RequestCarriesTheNameAsWideCharacters) {
    const Bytes payload = wire::Encode(wire::OpenRequest{0xC0000000u, 3, L"OTS1:"});
    EXPECT_THAT(payload, ElementsAreArray(Bytes{0x00, 0x00, 0x00, 0xC0, 0x03, 0x00, 0x00, 0x00,
                                                0x05, 0x00, 0x00, 0x00, 'O',  0,    0,    0,
                                                'T',  0,    0,    0,    'S',  0,    0,    0,
                                                '1',  0,    0,    0,    ':',  0,    0,    0}));
    const auto decoded = wire::DecodeOpenRequest(payload);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->access, 0xC0000000u);
    EXPECT_EQ(decoded->share, 3u);
    EXPECT_EQ(decoded->name, L"OTS1:");
}

TEST(WireOpen, NamesOfOneToSixtyFourCharactersAreAccepted) {
    for (std::size_t length : {std::size_t{1}, std::size_t{64}}) {
        const std::wstring name(length, L'X');
        const auto decoded = wire::DecodeOpenRequest(wire::Encode(wire::OpenRequest{0, 0, name}));
        ASSERT_TRUE(decoded) << length;
        EXPECT_EQ(decoded->name, name);
    }
    for (std::size_t length : {std::size_t{0}, std::size_t{65}}) {
        EXPECT_FALSE(wire::DecodeOpenRequest(
            wire::Encode(wire::OpenRequest{0, 0, std::wstring(length, L'X')})))
            << length;
    }
}

TEST(WireOpen, NameLengthMustMatchTheCharactersCarried) {
    Bytes payload = wire::Encode(wire::OpenRequest{0, 0, L"OTS1:"});
    payload[8] = 6;  // claims one character more than carried
    EXPECT_FALSE(wire::DecodeOpenRequest(payload));
    payload[8] = 4;  // one character left over
    EXPECT_FALSE(wire::DecodeOpenRequest(payload));
    payload[8] = 5;
    payload[16] = 0;  // a zero inside the name
    EXPECT_FALSE(wire::DecodeOpenRequest(payload));
    EXPECT_FALSE(wire::DecodeOpenRequest(Bytes(11, 0)));  // shorter than the fixed fields
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

TEST(WireIoControl, RequestCarriesBothBuffersBehindTheFixedFields) {
    const Bytes payload = wire::Encode(SampleRequest());
    EXPECT_THAT(payload, ElementsAreArray(Bytes{0x01, 0, 0,    0, 0x14, 0x20, 0x00, 0x80, 0x02, 0,
                                                0,    0, 0x03, 0, 0,    0,    0x07, 0,    0,    0,
                                                0x99, 0, 0,    0, 0xA1, 0xA2, 0xB1, 0xB2, 0xB3}));
    const auto decoded = wire::DecodeIoControlRequest(payload);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->code, 0x80002014u);
    EXPECT_EQ(decoded->input, (Bytes{0xA1, 0xA2}));
    EXPECT_EQ(decoded->output, (Bytes{0xB1, 0xB2, 0xB3}));
    EXPECT_EQ(decoded->bytesReturned, 0x99u);
}

TEST(WireIoControl, AbsentBuffersKeepTheirLengthButCarryNoBytes) {
    wire::IoControlRequest request = SampleRequest();
    request.flags = 0;
    request.input.clear();
    request.output.clear();
    const Bytes payload = wire::Encode(request);
    EXPECT_EQ(payload.size(), wire::kIoControlRequestFixedSize);
    const auto decoded = wire::DecodeIoControlRequest(payload);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->inLength, 2u);
    EXPECT_EQ(decoded->outLength, 3u);
    EXPECT_TRUE(decoded->input.empty());
}

TEST(WireIoControl, MalformedRequestsAreRefused) {
    const Bytes good = wire::Encode(SampleRequest());
    Bytes shorter(good.begin(), good.end() - 1);
    EXPECT_FALSE(wire::DecodeIoControlRequest(shorter));
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(wire::DecodeIoControlRequest(longer));
    Bytes unknownFlag = good;
    unknownFlag[16] |= 0x08;
    EXPECT_FALSE(wire::DecodeIoControlRequest(unknownFlag));
    EXPECT_FALSE(wire::DecodeIoControlRequest(Bytes(23, 0)));
}

TEST(WireIoControl, BuffersAreBoundedAt4096Bytes) {
    for (const bool input : {true, false}) {
        wire::IoControlRequest request;
        request.flags = input ? wire::kHasInput : wire::kHasOutput;
        Bytes& buffer = input ? request.input : request.output;
        DWORD& length = input ? request.inLength : request.outLength;
        buffer.assign(4096, 0x5A);
        length = 4096;
        EXPECT_TRUE(wire::DecodeIoControlRequest(wire::Encode(request))) << input;
        buffer.push_back(0x5A);
        length = 4097;
        EXPECT_FALSE(wire::DecodeIoControlRequest(wire::Encode(request))) << input;
        // The length alone, without bytes, is bounded too.
        request.flags = 0;
        buffer.clear();
        EXPECT_FALSE(wire::DecodeIoControlRequest(wire::Encode(request))) << input;
    }
}

TEST(WireIoControl, ReplyRoundTripsAndChecksItsOutputLength) {
    wire::IoControlReply reply{TRUE, 87, 6, {1, 2, 3, 4, 5, 6}};
    const Bytes payload = wire::Encode(reply);
    EXPECT_THAT(Bytes(payload.begin(), payload.begin() + 16),
                ElementsAre(1, 0, 0, 0, 87, 0, 0, 0, 6, 0, 0, 0, 6, 0, 0, 0));
    const auto decoded = wire::DecodeIoControlReply(payload);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->result, TRUE);
    EXPECT_EQ(decoded->lastError, 87u);
    EXPECT_EQ(decoded->output, reply.output);
    Bytes lying = payload;
    lying[12] = 7;
    EXPECT_FALSE(wire::DecodeIoControlReply(lying));
}

TEST(WireClose, MessagesHaveExactSizes) {
    EXPECT_THAT(wire::Encode(wire::CloseRequest{0x01020304u}), ElementsAre(4, 3, 2, 1));
    EXPECT_EQ(wire::DecodeCloseRequest(Bytes{4, 3, 2, 1})->handle, 0x01020304u);
    EXPECT_FALSE(wire::DecodeCloseRequest(Bytes{4, 3, 2}));
    EXPECT_FALSE(wire::DecodeCloseRequest(Bytes{4, 3, 2, 1, 0}));
    const auto reply = wire::DecodeCloseReply(wire::Encode(wire::CloseReply{FALSE, 6}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->result, FALSE);
    EXPECT_EQ(reply->lastError, 6u);
    EXPECT_FALSE(wire::DecodeOpenReply(Bytes(7, 0)));
}

// Two connected frame sockets.
struct SocketPair {
    SocketPair() {
        int fds[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        a = wire::FrameSocket(fds[0]);
        b = wire::FrameSocket(fds[1]);
    }
    wire::FrameSocket a;
    wire::FrameSocket b;
};

Bytes Header(std::uint32_t length, std::uint16_t type, std::uint16_t reserved = 0) {
    std::uint8_t bytes[wire::kHeaderSize];
    wire::StoreHeader(bytes, {length, type, reserved, 9});
    return {bytes, bytes + wire::kHeaderSize};
}

TEST(FrameSocket, FramesCrossWhole) {
    SocketPair pair;
    const Bytes payload = wire::Encode(wire::CloseRequest{42});
    ASSERT_TRUE(pair.a.Send(wire::kCloseRequest, 77, payload));
    ASSERT_TRUE(pair.a.Send(wire::kOpenReply, 78, wire::Encode(wire::OpenReply{1, 0})));
    wire::Frame frame;
    ASSERT_EQ(pair.b.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.type, wire::kCloseRequest);
    EXPECT_EQ(frame.requestId, 77u);
    EXPECT_EQ(frame.payload, payload);
    ASSERT_EQ(pair.b.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.requestId, 78u);
    pair.a.Close();
    EXPECT_EQ(pair.b.Receive(frame), wire::ReceiveResult::Closed);
}

TEST(FrameSocket, SendRefusesAPayloadBeyondItsTypesBound) {
    SocketPair pair;
    EXPECT_FALSE(pair.a.Send(wire::kCloseRequest, 1, Bytes(5, 0)));
    EXPECT_FALSE(pair.a.Send(0x77, 1, Bytes{}));
}

TEST(FrameSocket, ReceiveJudgesTheHeaderBeforeReadingThePayload) {
    struct Case {
        Bytes bytes;
        wire::ReceiveResult expected;
    };
    const Case cases[] = {
        {Header(0xFFFFFFFFu, wire::kIoControlRequest), wire::ReceiveResult::Oversized},
        {Header(5, wire::kCloseRequest), wire::ReceiveResult::Oversized},
        {Header(0, 0x77), wire::ReceiveResult::UnknownType},
        {Header(4, wire::kCloseRequest, 1), wire::ReceiveResult::BadHeader},
        {Bytes{1, 2, 3, 4, 5}, wire::ReceiveResult::Truncated},
        {[] {
             Bytes b = Header(4, wire::kCloseRequest);
             b.push_back(1);  // payload cut short
             return b;
         }(),
         wire::ReceiveResult::Truncated},
    };
    for (const Case& c : cases) {
        SocketPair pair;
        ASSERT_TRUE(pair.a.SendRaw(c.bytes));
        pair.a.Shutdown();  // nothing more comes: an oversized frame must not wait for it
        wire::Frame frame;
        EXPECT_EQ(pair.b.Receive(frame), c.expected) << wire::Describe(c.expected);
        EXPECT_TRUE(frame.payload.empty());
    }
}

TEST(FrameSocket, ConnectToNothingReportsTheCause) {
    int error = 0;
    EXPECT_FALSE(wire::FrameSocket::Connect("/nonexistent/ots/devmgr.sock", &error).valid());
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(wire::FrameSocket::Connect(std::string(200, 'x'), &error).valid());
    EXPECT_EQ(error, ENAMETOOLONG);
}

}  // namespace
