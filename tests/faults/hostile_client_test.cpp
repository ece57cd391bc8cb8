// Local clients that misuse the host's socket: one that stops inside a frame is dropped after
// the frame time-out (one that is merely idle between frames is not), and a client turned away
// because every slot is taken is told so.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "ce/kernel.h"
#include "support/host_process.h"

namespace faults {
namespace {

namespace wire = ce::host::wire;
using namespace std::chrono_literals;

const std::vector<std::uint8_t> kSixHeaderBytes = {60, 0, 0, 0, wire::kOpenRequest, 0};

class HostileClientTest : public ::testing::Test {
  protected:
    void Start(std::chrono::milliseconds frameTimeout) {
        server_.SetFrameTimeout(frameTimeout);
        ASSERT_EQ(server_.Listen(nullptr), ce::host::StreamServer::ListenResult::Listening);
        server_.Start();
    }
    wire::FrameSocket Connect() { return wire::FrameSocket::Connect(server_.SocketPath()); }
    bool WaitConnections(std::size_t n) {
        for (auto end = std::chrono::steady_clock::now() + 20s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(5ms)) {
            if (server_.ConnectionCount() == n) {
                return true;
            }
        }
        return false;
    }
    // An open request of a device nobody serves: answered, so the client was served.
    static bool Served(wire::FrameSocket& client) {
        wire::Frame reply;
        return client.Send(wire::kOpenRequest, 9, wire::Encode(wire::OpenRequest{0, 0, L"X1:"})) &&
               client.Receive(reply) == wire::ReceiveResult::Received &&
               reply.type == wire::kOpenReply;
    }

    ots::test::TempDir dir_;
    ce::host::StreamServer server_{dir_.File("devmgr.sock")};
};

TEST_F(HostileClientTest, StallInsideFrameIsDroppedIdleBetweenFramesIsNot) {
    Start(200ms);
    wire::FrameSocket idle = Connect();
    wire::FrameSocket staller = Connect();
    ASSERT_TRUE(staller.SendRaw(kSixHeaderBytes));
    ASSERT_TRUE(WaitConnections(1)) << "the stalled client still holds its slot";
    wire::Frame frame;
    EXPECT_EQ(staller.Receive(frame), wire::ReceiveResult::Closed);
    EXPECT_TRUE(Served(idle)) << "an idle client was dropped";
}

TEST_F(HostileClientTest, FullHouseIsReportedAndSlotsComeBackAfterTheTimeOut) {
    Start(3000ms);
    std::vector<wire::FrameSocket> stallers;
    for (std::size_t i = 0; i < ce::host::StreamServer::kMaxConnections; ++i) {
        stallers.push_back(Connect());
        ASSERT_TRUE(stallers.back().SendRaw(kSixHeaderBytes));
    }
    ASSERT_TRUE(WaitConnections(ce::host::StreamServer::kMaxConnections));
    wire::FrameSocket turnedAway = Connect();
    wire::Frame frame;
    ASSERT_EQ(turnedAway.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.type, wire::kServerFull);
    EXPECT_EQ(std::string(frame.payload.begin(), frame.payload.end()),
              "the host serves too many clients; try again later");
    const HANDLE handle = ce::host::OpenRemoteStream(server_.SocketPath(), L"OTS1:", 0, 0);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_BUSY);

    ASSERT_TRUE(WaitConnections(0)) << "stalled clients were not dropped";
    wire::FrameSocket next = Connect();
    EXPECT_TRUE(Served(next));
}

}  // namespace
}  // namespace faults
