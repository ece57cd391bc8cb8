// What cectl asks of the device host, and how the host answers: the payloads of the control
// messages on the host's socket (ce/host/stream_wire.h), little-endian.
//
//   ControlRequest  0 u16 verb  2 u16 controller kind  4 u32 controller id (0: the first one)
//                   8 u32 duration, platform ms  12 u32 count  16 u32 flags (1 follow)
//                   20 u32 n, points  24 u32 panel length  28 u32 text length
//                   32 u32 file name length  36 n × (f64 x, f64 y), screen pixels,
//                   then the panel name, the text and the file name (UTF-8)
//   ControlOutput   text to print (UTF-8); any number of them before the reply
//   ControlReply    0 u32 status (0 done, 1 refused)  4 u32 text length  8 text (UTF-8): what
//                   to print, or why the host refused
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ots::control {

enum class Verb : std::uint16_t {
    Plug = 1,
    Unplug,
    List,
    Tap,
    Touch,
    Drag,
    Draw,
    RegDump,
    RegImport,
    Events,
};

// Replay: a controller that plays a recording back (the recording's text in `text`).
enum class ControllerKind : std::uint16_t { None = 0, Coordinate = 1, Camera = 2, Replay = 3 };

struct Point {
    double xPx = 0.0;
    double yPx = 0.0;
    bool operator==(const Point&) const = default;
};

struct Command {
    Verb verb = Verb::List;
    ControllerKind kind = ControllerKind::None;  // plug
    std::uint32_t id = 0;          // plug --id, unplug ID, --id of a touch; 0: not given
    std::uint32_t durationMs = 0;  // hold of tap and touch, duration of drag and draw
    std::uint32_t count = 0;       // events --count; 0: not given
    bool follow = false;           // events --follow
    std::vector<Point> points;     // tap and touch: 1; drag: 2; draw: the whole stroke
    std::string panel;             // plug --panel (replay: the recording's name); empty: default
    std::string text;              // reg dump: the key; reg import, plug replay: the file's text
    std::string fileName;          // reg import: where the text came from; plug: --record FILE
    bool operator==(const Command&) const = default;
};

inline constexpr std::size_t kRequestFixedSize = 36;
inline constexpr std::uint32_t kFlagFollow = 0x1;

std::vector<std::uint8_t> EncodeCommand(const Command& command);
// nullopt for a payload that does not match the layout, an unknown verb or kind, or a
// coordinate that is not a finite number.
std::optional<Command> DecodeCommand(std::span<const std::uint8_t> payload);

enum class ReplyStatus : std::uint32_t { Done = 0, Refused = 1 };

struct Reply {
    ReplyStatus status = ReplyStatus::Done;
    std::string text;
    bool operator==(const Reply&) const = default;
};

std::vector<std::uint8_t> EncodeReply(const Reply& reply);
std::optional<Reply> DecodeReply(std::span<const std::uint8_t> payload);

}  // namespace ots::control
