// The frames a client sends the host's socket server, read as the server reads them (header
// checks, then the payload) and served by a stream session: a socket pair carries the input.
#include <sys/socket.h>
#include <unistd.h>

#include "ce/host/stream_wire.h"
#include "socket_session.h"

namespace wire = ce::host::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return 0;
    }
    wire::FrameSocket client(fds[0]);
    wire::FrameSocket server(fds[1]);
    // Fuzz inputs stay far below a socket's buffer, so the write never blocks.
    client.SendRaw({data, size});
    ::shutdown(client.fd(), SHUT_WR);
    ce::devmgr::StreamSession session;
    wire::Frame frame;
    while (server.Receive(frame) == wire::ReceiveResult::Received &&
           frame.type != wire::kControlRequest) {
        const auto reply = session.Serve(frame);
        if (!reply) {
            break;
        }
        server.Send(reply->type, frame.requestId, reply->payload);
    }
    return 0;
}
