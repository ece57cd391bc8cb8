#include "cectl/control_request.h"

#include <cmath>

#include "ce/host/stream_wire.h"

namespace ots::control {
namespace {

using ce::host::wire::PayloadReader;
using ce::host::wire::PayloadWriter;

constexpr std::uint16_t kLastVerb = static_cast<std::uint16_t>(Verb::Events);
constexpr std::uint16_t kLastKind = static_cast<std::uint16_t>(ControllerKind::Replay);
constexpr std::size_t kPointSize = 16;

std::uint32_t Size(std::size_t size) {
    return static_cast<std::uint32_t>(size);
}

}  // namespace

std::vector<std::uint8_t> EncodeCommand(const Command& command) {
    PayloadWriter writer;
    writer.U16(static_cast<std::uint16_t>(command.verb))
        .U16(static_cast<std::uint16_t>(command.kind))
        .U32(command.id)
        .U32(command.durationMs)
        .U32(command.count)
        .U32(command.follow ? kFlagFollow : 0)
        .U32(Size(command.points.size()))
        .U32(Size(command.panel.size()))
        .U32(Size(command.text.size()))
        .U32(Size(command.fileName.size()));
    for (const Point& point : command.points) {
        writer.F64(point.xPx).F64(point.yPx);
    }
    writer.Text(command.panel).Text(command.text).Text(command.fileName);
    return writer.Take();
}

std::optional<Command> DecodeCommand(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    Command command;
    const std::uint16_t verb = reader.U16();
    const std::uint16_t kind = reader.U16();
    command.id = reader.U32();
    command.durationMs = reader.U32();
    command.count = reader.U32();
    const std::uint32_t flags = reader.U32();
    const std::uint32_t points = reader.U32();
    const std::uint32_t panelLength = reader.U32();
    const std::uint32_t textLength = reader.U32();
    const std::uint32_t fileNameLength = reader.U32();
    if (!reader.ok() || verb == 0 || verb > kLastVerb || kind > kLastKind ||
        (flags & ~kFlagFollow) != 0) {
        return std::nullopt;
    }
    // Compared in 64 bits: four 32-bit sizes cannot overflow their sum there.
    const std::uint64_t expected = std::uint64_t{points} * kPointSize + panelLength +
                                   std::uint64_t{textLength} + fileNameLength;
    if (reader.Remaining() != expected) {
        return std::nullopt;
    }
    command.verb = static_cast<Verb>(verb);
    command.kind = static_cast<ControllerKind>(kind);
    command.follow = (flags & kFlagFollow) != 0;
    command.points.reserve(points);
    for (std::uint32_t i = 0; i < points; ++i) {
        const Point point{reader.F64(), reader.F64()};
        if (!std::isfinite(point.xPx) || !std::isfinite(point.yPx)) {
            return std::nullopt;
        }
        command.points.push_back(point);
    }
    command.panel = reader.Text(panelLength);
    command.text = reader.Text(textLength);
    command.fileName = reader.Text(fileNameLength);
    return reader.Done() ? std::optional(std::move(command)) : std::nullopt;
}

std::vector<std::uint8_t> EncodeReply(const Reply& reply) {
    PayloadWriter writer;
    writer.U32(static_cast<std::uint32_t>(reply.status))
        .U32(Size(reply.text.size()))
        .Text(reply.text);
    return writer.Take();
}

std::optional<Reply> DecodeReply(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    const std::uint32_t status = reader.U32();
    const std::uint32_t length = reader.U32();
    if (!reader.ok() || status > static_cast<std::uint32_t>(ReplyStatus::Refused) ||
        reader.Remaining() != length) {
        return std::nullopt;
    }
    return Reply{static_cast<ReplyStatus>(status), reader.Text(length)};
}

}  // namespace ots::control
