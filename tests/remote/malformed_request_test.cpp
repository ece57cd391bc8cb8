// Requests a well-behaved client never sends: garbage, truncated frames, absurd lengths,
// payloads that do not match their fields. The host refuses each, logs it, drops the
// connection (releasing what it held) and goes on serving everyone else.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <random>
#include <string>

#include "ce/host/stream_wire.h"
#include "cectl/control_request.h"
#include "protocol/control_codes.h"
#include "remote_fixture.h"

namespace remote_test {
namespace {

namespace wire = ce::host::wire;
using ::testing::ElementsAreArray;

Bytes Header(std::uint32_t length, std::uint16_t type, std::uint16_t reserved = 0) {
    std::uint8_t bytes[wire::kHeaderSize];
    wire::StoreHeader(bytes, {length, type, reserved, 1});
    return {bytes, bytes + wire::kHeaderSize};
}

Bytes Frame(std::uint16_t type, const Bytes& payload) {
    Bytes bytes = Header(static_cast<std::uint32_t>(payload.size()), type);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

Bytes Garbage(std::size_t size) {
    std::mt19937 random(1);
    Bytes bytes(size);
    for (BYTE& b : bytes) {
        b = static_cast<BYTE>(random());
    }
    return bytes;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

class MalformedRequests : public RemoteHostTest {
  protected:
    // Sends the bytes on a fresh connection (then ends its sending side if asked) and tells
    // whether the host hung up without answering.
    bool HostHangsUp(wire::FrameSocket& connection, const Bytes& bytes, bool endSending) {
        EXPECT_TRUE(connection.SendRaw(bytes));
        if (endSending) {
            ::shutdown(connection.fd(), SHUT_WR);
        }
        wire::Frame frame;
        return connection.Receive(frame) != wire::ReceiveResult::Received;
    }

    bool HostHangsUp(const Bytes& bytes, bool endSending = false) {
        wire::FrameSocket connection = wire::FrameSocket::Connect(Host().socket());
        EXPECT_TRUE(connection.valid());
        return HostHangsUp(connection, bytes, endSending);
    }

    std::size_t Dropped() const {
        return CountOf(ReadFile(Host().logFile()), "the connection is dropped");
    }

    void ExpectDeviceServed() {
        Handle device(OpenDevice());
        ASSERT_TRUE(device.ok()) << "error " << GetLastError();
        Bytes id(6);
        ASSERT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &id));
        EXPECT_THAT(id, ElementsAreArray(kCoordinateDeviceId));
    }
};

TEST_F(MalformedRequests, AreRefusedLoggedAndDroppedWhileTheHostGoesOn) {
    wire::IoControlRequest overLength;
    overLength.inLength = wire::kMaxIoBuffer + 1;  // carries no bytes, claims too many
    wire::IoControlRequest unbacked;
    unbacked.inLength = 100;
    unbacked.flags = wire::kHasInput;
    unbacked.input.assign(10, 0);  // says 100 bytes follow, 10 do

    struct Case {
        const char* what;
        Bytes bytes;
        bool endSending;
    };
    const Case cases[] = {
        {"garbage", Garbage(64), false},
        {"truncated header", Bytes{0x18, 0, 0, 0, 3}, true},
        {"truncated payload",
         [] {
             Bytes b = Header(24, wire::kIoControlRequest);
             b.resize(b.size() + 10, 0);
             return b;
         }(),
         true},
        {"huge length", Header(0xFFFFFFFFu, wire::kIoControlRequest), false},
        {"control payload over its bound",
         Header(wire::kMaxControlPayload + 1, wire::kControlRequest), false},
        {"unknown type", Header(0, 0x77), false},
        {"reserved field set", Header(4, wire::kCloseRequest, 0x100), false},
        {"payload shorter than its fields", Frame(wire::kCloseRequest, Bytes{1, 0, 0}), false},
        {"buffer length over 4096", Frame(wire::kIoControlRequest, wire::Encode(overLength)),
         false},
        {"buffer bytes missing", Frame(wire::kIoControlRequest, wire::Encode(unbacked)), false},
        {"empty device name", Frame(wire::kOpenRequest, Bytes(12, 0)), false},
        {"a reply sent as a request", Frame(wire::kOpenReply, wire::Encode(wire::OpenReply{1, 0})),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = Dropped();
        EXPECT_TRUE(HostHangsUp(c.bytes, c.endSending));
        EXPECT_EQ(Dropped(), before + 1);
        ExpectDeviceServed();
    }
}

TEST_F(MalformedRequests, ADroppedConnectionReleasesTheDeviceItOpened) {
    wire::FrameSocket connection = wire::FrameSocket::Connect(Host().socket());
    ASSERT_TRUE(connection.valid());
    ASSERT_TRUE(connection.Send(wire::kOpenRequest, 1,
                                wire::Encode(wire::OpenRequest{GENERIC_READ, 0, L"OTS1:"})));
    wire::Frame frame;
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    const auto opened = wire::DecodeOpenReply(frame.payload);
    ASSERT_TRUE(opened);
    ASSERT_NE(opened->handle, 0u);
    EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    EXPECT_TRUE(HostHangsUp(connection, Garbage(40), false));
    ExpectDeviceServed();
}

TEST_F(MalformedRequests, RequestsOnHandlesTheConnectionDoesNotHoldAreRefusedAsInvalid) {
    wire::FrameSocket connection = wire::FrameSocket::Connect(Host().socket());
    ASSERT_TRUE(connection.valid());
    wire::IoControlRequest request;
    request.handle = 1;  // never opened here
    request.code = IOCTL_GET_DEVICE_ID;
    request.outLength = 6;
    request.flags = wire::kHasOutput;
    request.output.assign(6, 0xEE);
    ASSERT_TRUE(connection.Send(wire::kIoControlRequest, 5, wire::Encode(request)));
    wire::Frame frame;
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.requestId, 5u);
    const auto reply = wire::DecodeIoControlReply(frame.payload);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->result, FALSE);
    EXPECT_EQ(reply->lastError, ERROR_INVALID_HANDLE);
    EXPECT_EQ(reply->output, Bytes(6, 0xEE));

    ASSERT_TRUE(connection.Send(wire::kCloseRequest, 6, wire::Encode(wire::CloseRequest{1})));
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(wire::DecodeCloseReply(frame.payload)->lastError, ERROR_INVALID_HANDLE);
}

TEST_F(MalformedRequests, AMalformedControlRequestIsRefusedWithAReason) {
    wire::FrameSocket connection = wire::FrameSocket::Connect(Host().socket());
    ASSERT_TRUE(connection.valid());
    ASSERT_TRUE(connection.Send(wire::kControlRequest, 3, Bytes{1, 2, 3}));
    wire::Frame frame;
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    ASSERT_EQ(frame.type, wire::kControlReply);
    const auto reply = ots::control::DecodeReply(frame.payload);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, ots::control::ReplyStatus::Refused);
    EXPECT_NE(reply->text.find("malformed"), std::string::npos);
}

}  // namespace
}  // namespace remote_test
