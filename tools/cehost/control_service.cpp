#include "control_service.h"

#include <cstdio>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/stream_wire.h"
#include "registry_commands.h"
#include "touch_report.h"

namespace ots::host {
namespace {

namespace wire = ce::host::wire;
using ots::control::Command;
using ots::control::ControllerKind;
using ots::control::Reply;
using ots::control::ReplyStatus;
using ots::control::Verb;

// How often a follower looks whether its client has gone.
constexpr std::chrono::milliseconds kFollowPoll{100};

Reply Refused(std::string why) {
    return {ReplyStatus::Refused, std::move(why)};
}

const char* KindName(ControllerKind kind) {
    return kind == ControllerKind::Camera   ? "camera"
           : kind == ControllerKind::Replay ? "replay"
                                            : "coordinate";
}

std::string InfoLine(const ControllerInfo& info) {
    std::string line = std::to_string(info.id) + " " + KindName(info.kind) + " " + info.panel +
                       " " + (info.streamName.empty() ? "-" : info.streamName) + " " +
                       (info.active ? "active" : "inactive");
    line += info.note.empty() ? "" : " " + info.note;
    return info.recording.empty() ? line + "\n" : line + " recording into " + info.recording + "\n";
}

bool SendText(ce::host::ControlChannel& channel, const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return channel.Send(wire::kControlOutput, {bytes, text.size()});
}

// A reply larger than one message goes as output in parts, followed by an empty reply of the
// same status; a refusal that large is replaced by one that says so. Either way the client gets
// its answer instead of waiting for a message that was never sent.
void SendReply(ce::host::ControlChannel& channel, const Reply& reply) {
    std::vector<std::uint8_t> encoded = ots::control::EncodeReply(reply);
    if (encoded.size() > wire::kMaxControlPayload) {
        if (reply.status != ReplyStatus::Done) {
            encoded =
                ots::control::EncodeReply(Refused("the reply is too large to send (" +
                                                  std::to_string(reply.text.size()) + " bytes)"));
        } else {
            constexpr std::size_t kPart = wire::kMaxControlPayload;
            for (std::size_t at = 0; at < reply.text.size(); at += kPart) {
                if (!SendText(channel, reply.text.substr(at, kPart))) {
                    return;  // the client has gone
                }
            }
            encoded = ots::control::EncodeReply(Reply{ReplyStatus::Done, ""});
        }
    }
    channel.Send(wire::kControlReply, encoded);
}

}  // namespace

void ControlService::Handle(ce::host::ControlChannel& channel,
                            std::span<const std::uint8_t> payload) {
    const std::optional<Command> command = ots::control::DecodeCommand(payload);
    const Reply reply = !command        ? Refused("the request is malformed")
                        : shuttingDown_ ? Refused("the host is shutting down")
                                        : Run(*command, channel);
    SendReply(channel, reply);
}

Reply ControlService::Run(const Command& command, ce::host::ControlChannel& channel) {
    switch (command.verb) {
        case Verb::Plug:
            return Plug(command);
        case Verb::Unplug:
            return Unplug(command);
        case Verb::List:
            return List();
        case Verb::Tap:
        case Verb::Touch:
        case Verb::Drag:
        case Verb::Draw:
            return Touch(command);
        case Verb::RegDump:
            return DumpRegistry(command.text);
        case Verb::RegImport:
            return ImportRegistry(command.text, command.fileName);
        case Verb::Events:
            return Events(command, channel);
    }
    return Refused("unknown command");
}

Reply ControlService::Plug(const Command& command) {
    auto plugged =
        controllers_.Plug(command.kind, command.panel, command.id, command.text, command.fileName);
    if (auto* error = std::get_if<std::string>(&plugged)) {
        return Refused(*error);
    }
    return {ReplyStatus::Done, "plugged " + InfoLine(std::get<ControllerInfo>(plugged))};
}

Reply ControlService::Unplug(const Command& command) {
    auto unplugged = controllers_.Unplug(command.id);
    if (auto* error = std::get_if<std::string>(&unplugged)) {
        return Refused(*error);
    }
    return {ReplyStatus::Done, "unplugged " + InfoLine(std::get<ControllerInfo>(unplugged))};
}

Reply ControlService::List() {
    std::string text;
    for (const ControllerInfo& info : controllers_.List()) {
        text += InfoLine(info);
    }
    return {ReplyStatus::Done, text};
}

Reply ControlService::Touch(const Command& command) {
    if (command.points.empty()) {
        return Refused("a touch needs a position");
    }
    const bool holds = command.verb == Verb::Tap || command.verb == Verb::Touch;
    const double holdMs = holds ? command.durationMs : 0.0;
    const double moveMs = holds ? 0.0 : command.durationMs;
    const std::uint64_t first = events_.NextSequence();
    const double startMs = ce::host::PlatformNowMs();
    if (auto error = controllers_.Stroke(command.id, command.points, moveMs, holdMs)) {
        return Refused(*error);
    }
    // The start on the platform clock lets a client set the finger's path against the events'
    // t_ms, for the pointer's lag.
    char start[64];
    std::snprintf(start, sizeof start, "finger down at t_ms %.3f\n", startMs);
    return {ReplyStatus::Done, DescribeTouch(command.points, events_.Since(first)) + start};
}

Reply ControlService::Events(const Command& command, ce::host::ControlChannel& channel) {
    if (!command.follow) {
        std::string text;
        for (const LoggedEvent& event : events_.Last(command.count)) {
            text += event.Json() + "\n";
        }
        return {ReplyStatus::Done, text};
    }
    std::uint64_t next = events_.NextSequence();
    std::uint32_t sent = 0;
    while (command.count == 0 || sent < command.count) {
        if (channel.WaitClosed(std::chrono::milliseconds(0)) || shuttingDown_) {
            return {ReplyStatus::Done, ""};  // nobody left to tell, or the host is going
        }
        if (!events_.WaitFor(next, kFollowPoll)) {
            continue;
        }
        for (const LoggedEvent& event : events_.Since(next)) {
            if (!SendText(channel, event.Json() + "\n")) {
                return {ReplyStatus::Done, ""};
            }
            next = event.sequence + 1;
            if (++sent == command.count) {
                break;
            }
        }
    }
    return {ReplyStatus::Done, ""};
}

}  // namespace ots::host
