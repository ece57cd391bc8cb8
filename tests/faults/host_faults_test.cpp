// The host's own faults: killed (SIGKILL) while it saves its registry, the file it leaves loads
// and holds every change it acknowledged; local clients that misuse its socket, one stopping
// inside a frame (dropped after the frame time-out; one idle between frames is not) and one
// turned away because every slot is taken (told so).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "ce/kernel.h"
#include "support/host_process.h"
#include "support/scaled_clock.h"

namespace {

namespace wire = ce::host::wire;
using ots::test::WaitUntil;

std::string RegText(const std::string& key, const std::string& values) {
    return "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" + key + "]\n" + values;
}

TEST(HostKilledWhileSaving, EveryAcknowledgedChangeLoads) {
    ots::test::TempDir dir;
    ots::test::HostProcess host(dir);
    ASSERT_TRUE(host.WaitReady());
    std::string bulk;  // makes every save long, so the kill lands inside one
    for (int i = 0; i < 3000; ++i) {
        bulk += "\"Value" + std::to_string(i) + "\"=\"" + std::string(64, 'x') + "\"\n";
    }
    ots::test::WriteFile(dir.File("bulk.reg"), RegText("Bulk", bulk));
    ASSERT_EQ(host.Cectl({"reg", "import", dir.File("bulk.reg")}).exitCode, 0);
    std::atomic<int> acknowledged{0};
    std::thread writer([&] {
        for (int i = 1;; acknowledged = i++) {
            const std::string file = dir.File("change" + std::to_string(i) + ".reg");
            ots::test::WriteFile(file,
                                 RegText("Faults", "\"Change" + std::to_string(i) +
                                                       "\"=dword:" + std::to_string(i) + "\n"));
            if (host.Cectl({"reg", "import", file}).exitCode != 0) {
                return;  // the host is gone
            }
        }
    });
    while (acknowledged < 8) {
        std::this_thread::yield();
    }
    host.Stop(SIGKILL);
    writer.join();

    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(host.registryFile());
    ASSERT_FALSE(error.has_value()) << error->ToString();
    const std::string saved = ce::host::ExportRegText();
    for (int i = 1; i <= acknowledged; ++i) {
        char value[40];
        std::snprintf(value, sizeof value, "\"Change%d\"=dword:%08x\n", i, i);
        EXPECT_NE(saved.find(value), std::string::npos) << "change " << i << " was lost";
    }
}

TEST(HostileClients, StallersAreDroppedIdlersServedAndAFullHouseIsReported) {
    ots::test::TempDir dir;
    ce::host::StreamServer server(dir.File("devmgr.sock"));
    server.SetFrameTimeout(std::chrono::seconds(3));
    ASSERT_EQ(server.Listen(nullptr), ce::host::StreamServer::ListenResult::Listening);
    server.Start();
    const auto connect = [&] { return wire::FrameSocket::Connect(server.SocketPath()); };
    const auto connections = [&](std::size_t n) {
        return WaitUntil([&] { return server.ConnectionCount() == n; }, std::chrono::seconds(20));
    };
    std::vector<wire::FrameSocket> clients;
    clients.push_back(connect());  // idle between frames
    while (clients.size() < ce::host::StreamServer::kMaxConnections) {
        clients.push_back(connect());  // stops six bytes into a header
        ASSERT_TRUE(clients.back().SendRaw(std::vector<std::uint8_t>{60, 0, 0, 0, 1, 0}));
    }
    ASSERT_TRUE(connections(ce::host::StreamServer::kMaxConnections));
    wire::FrameSocket turnedAway = connect();
    pollfd answer{turnedAway.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&answer, 1, 20000), 1) << "a client over the limit was admitted";
    wire::Frame frame;
    ASSERT_EQ(turnedAway.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.type, wire::kServerFull);
    EXPECT_EQ(std::string(frame.payload.begin(), frame.payload.end()),
              "the host serves too many clients; try again later");
    EXPECT_EQ(ce::host::OpenRemoteStream(server.SocketPath(), L"OTS1:", 0, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_BUSY);

    ASSERT_TRUE(connections(1)) << "stalled clients were not dropped";
    EXPECT_EQ(clients.back().Receive(frame), wire::ReceiveResult::Closed);
    // An open request of a device nobody serves is answered: the idle client is still served.
    ASSERT_TRUE(
        clients.front().Send(wire::kOpenRequest, 9, wire::Encode(wire::OpenRequest{0, 0, L"X1:"})));
    ASSERT_EQ(clients.front().Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.type, wire::kOpenReply);
}

}  // namespace
