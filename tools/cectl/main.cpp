// cectl: the device host's command-line client.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "cectl/command_line.h"
#include "cectl/control_request.h"
#include "cectl/stroke.h"

namespace {

namespace wire = ce::host::wire;
using namespace ots::control;

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoHost = 2;
constexpr int kExitRefused = 3;

constexpr std::uint32_t kRequestId = 1;

int Fail(int code, const std::string& message) {
    std::cerr << "cectl: " << message << "\n";
    return code;
}

// Reads the file the command names into the command; an error message when it cannot.
std::string LoadNamedFile(CommandLine& line) {
    std::ifstream file(line.fileToRead, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf())) {
        return "cannot read " + line.fileToRead + ": " + std::strerror(errno);
    }
    if (line.command.verb == Verb::Draw) {
        PathText path = ParsePathText(text.str(), line.fileToRead);
        line.command.points = std::move(path.points);
        return path.error;
    }
    line.command.text = text.str();
    return {};
}

void Print(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

// Prints what the host sends until its reply; returns the exit code.
int Converse(wire::FrameSocket& socket, const std::string& path) {
    wire::Frame frame;
    while (socket.Receive(frame) == wire::ReceiveResult::Received) {
        if (frame.type == wire::kServerFull) {
            return Fail(kExitNoHost, "the host at " + path + " turned this client away: " +
                                         std::string(frame.payload.begin(), frame.payload.end()));
        }
        if (frame.requestId != kRequestId) {
            break;
        }
        if (frame.type == wire::kControlOutput) {
            Print(stdout, std::string(frame.payload.begin(), frame.payload.end()));
            continue;
        }
        const std::optional<Reply> reply =
            frame.type == wire::kControlReply ? DecodeReply(frame.payload) : std::nullopt;
        if (!reply) {
            break;
        }
        if (reply->status == ReplyStatus::Refused) {
            return Fail(kExitRefused, reply->text);
        }
        Print(stdout, reply->text);
        return kExitDone;
    }
    return Fail(kExitNoHost, "the host at " + path + " closed the connection");
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine line = ParseCommandLine(args);
    if (line.outcome == CommandLine::Outcome::Help) {
        Print(stdout, line.message);
        return kExitDone;
    }
    if (line.outcome == CommandLine::Outcome::Usage) {
        Print(stderr, line.message);
        return kExitUsage;
    }
    if (!line.fileToRead.empty()) {
        if (const std::string error = LoadNamedFile(line); !error.empty()) {
            return Fail(kExitUsage, error);
        }
    }
    const std::vector<std::uint8_t> request = EncodeCommand(line.command);
    if (request.size() > wire::kMaxControlPayload) {
        return Fail(kExitUsage, "the request is larger than the host takes (" +
                                    std::to_string(wire::kMaxControlPayload) + " bytes)");
    }
    const std::string path =
        line.socketPath.empty() ? ce::host::DevmgrSocketPath() : line.socketPath;
    int error = 0;
    wire::FrameSocket socket = wire::FrameSocket::Connect(path, &error);
    if (!socket.valid()) {
        return Fail(kExitNoHost, "no host answers on " + path + " (" + std::strerror(error) + ")");
    }
    // A host that turned this client away may have closed first; Converse reads its reason.
    socket.Send(wire::kControlRequest, kRequestId, request);
    return Converse(socket, path);
}
