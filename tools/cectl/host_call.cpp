#include "cectl/host_call.h"

#include <cstring>

#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"

namespace ots::control {
namespace {

namespace wire = ce::host::wire;
constexpr std::uint32_t kRequestId = 1;

HostAnswer Answer(HostAnswer::Outcome outcome, std::string text) {
    return HostAnswer{outcome, std::move(text)};
}

}  // namespace

HostAnswer CallHost(const Command& command, const std::string& socketPath,
                    const std::function<void(const std::string&)>& onOutput) {
    const std::vector<std::uint8_t> request = EncodeCommand(command);
    const std::string path = socketPath.empty() ? ce::host::DevmgrSocketPath() : socketPath;
    int error = 0;
    wire::FrameSocket socket = wire::FrameSocket::Connect(path, &error);
    if (!socket.valid()) {
        return Answer(HostAnswer::Outcome::NoHost,
                      "no host answers on " + path + " (" + std::strerror(error) + ")");
    }
    const std::string closed = "the host at " + path + " closed the connection";
    // A host that turned this client away may have closed first; its reason is still to read.
    socket.Send(wire::kControlRequest, kRequestId, request);
    wire::Frame frame;
    while (socket.Receive(frame) == wire::ReceiveResult::Received) {
        if (frame.type == wire::kServerFull) {
            return Answer(HostAnswer::Outcome::NoHost,
                          "the host at " + path + " turned this client away: " +
                              std::string(frame.payload.begin(), frame.payload.end()));
        }
        if (frame.requestId != kRequestId) {
            break;
        }
        if (frame.type == wire::kControlOutput) {
            onOutput(std::string(frame.payload.begin(), frame.payload.end()));
            continue;
        }
        const std::optional<Reply> reply =
            frame.type == wire::kControlReply ? DecodeReply(frame.payload) : std::nullopt;
        if (!reply) {
            break;
        }
        return Answer(reply->status == ReplyStatus::Refused ? HostAnswer::Outcome::Refused
                                                            : HostAnswer::Outcome::Done,
                      reply->text);
    }
    return Answer(HostAnswer::Outcome::NoHost, closed);
}

}  // namespace ots::control
