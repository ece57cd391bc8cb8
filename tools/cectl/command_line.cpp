#include "cectl/command_line.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "cectl/reg_defines.h"
#include "cectl/stroke.h"

namespace ots::control {
namespace {

struct VerbHelp {
    const char* synopsis;
    const char* details;
};

const std::map<std::string, VerbHelp>& HelpTable() {
    static const std::map<std::string, VerbHelp> table = {
        {"plug",
         {"plug coordinate|camera [--panel NAME] [--id N]",
          "Plugs a simulated controller into the host's USB bus and prints its id and stream\n"
          "device. Panels: coordinate \"ideal\" (default), \"mounted\" (a panel mounted with\n"
          "an offset, a tilt, a bow and noise) or \"shifted\" (offset and turned only); camera\n"
          "\"realistic\" (default), \"mounted\" (shifted, turned and bowed by a few mm) or\n"
          "\"defaults\" (blocks the driver cannot use, so its default models apply). --id N\n"
          "(1-99) picks the id; a camera plugged again under its old id finds its stored\n"
          "records again.\n"}},
        {"unplug", {"unplug ID", "Pulls controller ID out of the bus.\n"}},
        {"list",
         {"list", "One line per plugged controller: id, kind, panel, stream device, state.\n"}},
        {"tap",
         {"tap X Y [--ms N] [--id N]",
          "Touches X Y, holds N ms (default 50) and lifts; then prints the finger's position\n"
          "and what the driver injected.\n"}},
        {"touch",
         {"touch X Y --ms N [--id N]",
          "Touches X Y, holds N ms and lifts (also called \"hold\").\n"}},
        {"drag",
         {"drag X1 Y1 X2 Y2 [--ms N] [--id N]",
          "Touches X1 Y1, moves in a straight line to X2 Y2 in N ms (default 300), lifts.\n"}},
        {"draw",
         {"draw line X1 Y1 X2 Y2 | circle X Y R | path FILE [--ms N] [--id N]",
          "Draws one stroke in N ms (default 1000): a line, a circle of radius R round X Y,\n"
          "or the points of FILE (\"x y\" per line, '#' starts a comment).\n"}},
        {"reg",
         {"reg dump [KEY] | reg import [--define NAME[=VALUE]]... FILE",
          "dump prints the registry, or KEY and its subkeys, as .reg text; import merges a\n"
          ".reg file into the host's registry: regedit's, or a device image's registry file\n"
          "(no header line), whose IF and #if test the --define names and whose $(NAME)\n"
          "macros expand to their values.\n"}},
        {"events",
         {"events [--follow] [--count N]",
          "Prints the injected mouse events as JSON lines: the last N kept (default all), or\n"
          "with --follow the new ones as they come, until N have come or cectl is stopped.\n"}},
    };
    return table;
}

const char* const kVerbOrder[] = {"plug", "unplug", "list", "tap",   "touch",
                                  "drag", "draw",   "reg",  "events"};

std::string VerbHelpText(const std::string& name) {
    const VerbHelp& help = HelpTable().at(name);
    return std::string("usage: cectl [--socket PATH] ") + help.synopsis + "\n\n" + help.details +
           "\nPositions are screen pixels (800 x 600 by default); --id N picks the controller\n"
           "(default: the first one plugged).\n";
}

struct Options {
    std::optional<std::uint32_t> id;
    std::optional<std::uint32_t> ms;
    std::optional<std::uint32_t> count;
    std::optional<std::string> panel;
    std::map<std::string, std::string> defines;
    bool follow = false;
    bool help = false;
    std::vector<std::string> positional;
};

std::optional<std::uint32_t> ParseUnsigned(const std::string& text, std::uint32_t min,
                                           std::uint32_t max) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// Splits options from positional arguments; only the options in `allowed` are taken. Reads
// to the end, so that a --help after a mistake still counts; returns the first mistake.
std::string CollectOptions(std::span<const std::string> args, const std::set<std::string>& allowed,
                           Options& options) {
    std::string error;
    struct Numeric {
        std::optional<std::uint32_t>* target;
        std::uint32_t min;
        std::uint32_t max;
    };
    const std::map<std::string, Numeric> numeric = {
        {"--id", {&options.id, 1, kMaxControllerId}},
        {"--ms", {&options.ms, 0, kMaxDurationMs}},
        {"--count", {&options.count, 1, 1000000}},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            options.positional.push_back(arg);
            continue;
        }
        if (allowed.count(arg) == 0) {
            error = error.empty() ? "unknown option " + arg : error;
            continue;
        }
        if (arg == "--follow") {
            options.follow = true;
            continue;
        }
        if (i + 1 == args.size()) {
            error = error.empty() ? arg + " needs a value" : error;
            continue;
        }
        const std::string& value = args[++i];
        if (arg == "--panel") {
            options.panel = value;
            continue;
        }
        if (arg == "--define") {
            if (!AddRegDefine(value, options.defines) && error.empty()) {
                error = "--define takes NAME or NAME=VALUE, not \"" + value + "\"";
            }
            continue;
        }
        const Numeric& field = numeric.at(arg);
        *field.target = ParseUnsigned(value, field.min, field.max);
        if (!*field.target && error.empty()) {
            error = arg + " takes a whole number from " + std::to_string(field.min) + " to " +
                    std::to_string(field.max) + ", not \"" + value + "\"";
        }
    }
    return error;
}

std::optional<Point> ParsePoint(const std::string& x, const std::string& y) {
    const auto xPx = ParseCoordinate(x);
    const auto yPx = ParseCoordinate(y);
    return xPx && yPx ? std::optional(Point{*xPx, *yPx}) : std::nullopt;
}

// Reads count coordinates from the positional arguments starting at `first`.
std::string TakePoints(const Options& options, std::size_t first, std::size_t count,
                       std::vector<Point>& points) {
    if (options.positional.size() != first + count) {
        return "expected " + std::to_string(count) + " numbers";
    }
    for (std::size_t i = first; i < first + count; i += 2) {
        const auto point = ParsePoint(options.positional[i], options.positional[i + 1]);
        if (!point) {
            return "\"" + options.positional[i] + " " + options.positional[i + 1] +
                   "\" is not a position";
        }
        points.push_back(*point);
    }
    return {};
}

using Builder = std::function<std::string(const Options&, CommandLine&)>;

std::string BuildPlug(const Options& options, CommandLine& line) {
    if (options.positional.size() != 1) {
        return "plug takes one kind: coordinate or camera";
    }
    const std::string& kind = options.positional[0];
    if (kind != "coordinate" && kind != "camera") {
        return "unknown controller kind \"" + kind + "\"";
    }
    line.command.kind = kind == "camera" ? ControllerKind::Camera : ControllerKind::Coordinate;
    line.command.panel = options.panel.value_or("");
    return {};
}

std::string BuildUnplug(const Options& options, CommandLine& line) {
    const auto id = options.positional.size() == 1
                        ? ParseUnsigned(options.positional[0], 1, kMaxControllerId)
                        : std::nullopt;
    if (!id) {
        return "unplug takes one controller id (1-99)";
    }
    line.command.id = *id;
    return {};
}

std::string BuildList(const Options& options, CommandLine&) {
    return options.positional.empty() ? std::string() : "list takes no arguments";
}

std::string BuildTap(const Options& options, CommandLine& line) {
    line.command.durationMs = options.ms.value_or(kDefaultTapHoldMs);
    return TakePoints(options, 0, 2, line.command.points);
}

std::string BuildTouch(const Options& options, CommandLine& line) {
    if (!options.ms) {
        return "touch needs --ms N, how long to hold";
    }
    line.command.durationMs = *options.ms;
    return TakePoints(options, 0, 2, line.command.points);
}

std::string BuildDrag(const Options& options, CommandLine& line) {
    line.command.durationMs = options.ms.value_or(kDefaultDragMs);
    return TakePoints(options, 0, 4, line.command.points);
}

std::string BuildDraw(const Options& options, CommandLine& line) {
    line.command.durationMs = options.ms.value_or(kDefaultDrawMs);
    const std::string shape = options.positional.empty() ? "" : options.positional[0];
    if (shape == "line") {
        return TakePoints(options, 1, 4, line.command.points);
    }
    if (shape == "circle") {
        const auto centre = options.positional.size() == 4
                                ? ParsePoint(options.positional[1], options.positional[2])
                                : std::nullopt;
        const auto radius =
            options.positional.size() == 4 ? ParseCoordinate(options.positional[3]) : std::nullopt;
        if (!centre || !radius || *radius <= 0.0) {
            return "draw circle takes X Y R, with R above 0";
        }
        line.command.points = CircleStroke(*centre, *radius);
        return {};
    }
    if (shape == "path") {
        if (options.positional.size() != 2) {
            return "draw path takes one FILE";
        }
        line.fileToRead = options.positional[1];
        return {};
    }
    return "draw takes line, circle or path";
}

std::string BuildReg(const Options& options, CommandLine& line) {
    const std::string action = options.positional.empty() ? "" : options.positional[0];
    if (action == "dump" && options.positional.size() <= 2) {
        line.command.verb = Verb::RegDump;
        line.command.text = options.positional.size() == 2 ? options.positional[1] : "";
        return {};
    }
    if (action == "import" && options.positional.size() == 2) {
        line.command.verb = Verb::RegImport;
        line.fileToRead = options.positional[1];
        line.command.fileName = options.positional[1];
        line.defines = options.defines;
        return {};
    }
    return "reg takes dump [KEY] or import [--define NAME[=VALUE]]... FILE";
}

std::string BuildEvents(const Options& options, CommandLine& line) {
    line.command.follow = options.follow;
    line.command.count = options.count.value_or(0);
    return options.positional.empty() ? std::string() : "events takes no arguments";
}

struct VerbEntry {
    Verb verb;
    std::set<std::string> options;
    Builder build;
};

const std::map<std::string, VerbEntry>& VerbTable() {
    static const std::map<std::string, VerbEntry> table = {
        {"plug", {Verb::Plug, {"--panel", "--id"}, BuildPlug}},
        {"unplug", {Verb::Unplug, {}, BuildUnplug}},
        {"list", {Verb::List, {}, BuildList}},
        {"tap", {Verb::Tap, {"--ms", "--id"}, BuildTap}},
        {"touch", {Verb::Touch, {"--ms", "--id"}, BuildTouch}},
        {"drag", {Verb::Drag, {"--ms", "--id"}, BuildDrag}},
        {"draw", {Verb::Draw, {"--ms", "--id"}, BuildDraw}},
        {"reg", {Verb::RegDump, {"--define"}, BuildReg}},
        {"events", {Verb::Events, {"--follow", "--count"}, BuildEvents}},
    };
    return table;
}

CommandLine Usage(std::string message, const std::string& verb = {}) {
    CommandLine line;
    line.outcome = CommandLine::Outcome::Usage;
    const std::string hint = verb.empty() ? "cectl --help" : "cectl " + verb + " --help";
    line.message = "cectl: " + message + " (see " + hint + ")\n";
    return line;
}

CommandLine Help(std::string text) {
    CommandLine line;
    line.outcome = CommandLine::Outcome::Help;
    line.message = std::move(text);
    return line;
}

}  // namespace

std::optional<double> ParseCoordinate(const std::string& text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string UsageText() {
    std::string text =
        "usage: cectl [--socket PATH] <command> [options]\n\n"
        "Drives a running device host (cehost): plugs simulated touch controllers in and out,\n"
        "touches them, and shows the registry and the injected mouse events.\n\nCommands:\n";
    for (const char* verb : kVerbOrder) {
        text += std::string("  ") + HelpTable().at(verb).synopsis + "\n";
    }
    text +=
        "\n\"cectl <command> --help\" explains a command. Positions are screen pixels (800 x 600\n"
        "by default).\n\n"
        "The socket: --socket PATH, else $OTS_DEVMGR_SOCKET, else "
        "$XDG_RUNTIME_DIR/ots/devmgr.sock,\n"
        "else /tmp/ots-<uid>/devmgr.sock.\n\n"
        "Exit codes: 0 done, 1 usage error, 2 no host answers, 3 the host refused.\n";
    return text;
}

CommandLine ParseCommandLine(std::span<const std::string> args) {
    std::string socketPath;
    std::size_t at = 0;
    for (; at < args.size() && args[at].compare(0, 1, "-") == 0; ++at) {
        if (args[at] == "--help" || args[at] == "-h") {
            return Help(UsageText());
        }
        if (args[at] != "--socket" || at + 1 == args.size() || args[at + 1].empty()) {
            return Usage(args[at] == "--socket" ? "--socket needs a path"
                                                : "unknown option " + args[at]);
        }
        socketPath = args[++at];
    }
    if (at == args.size()) {
        return Usage("no command given");
    }
    const std::string& verbName = args[at] == "hold" ? std::string("touch") : args[at];
    const auto found = VerbTable().find(verbName);
    if (found == VerbTable().end()) {
        return Usage("unknown command \"" + args[at] + "\"");
    }
    const VerbEntry& entry = found->second;
    Options options;
    const std::string optionError = CollectOptions(args.subspan(at + 1), entry.options, options);
    if (options.help) {
        return Help(VerbHelpText(verbName));
    }
    CommandLine line;
    line.command.verb = entry.verb;
    line.command.id = options.id.value_or(0);
    std::string error = optionError.empty() ? entry.build(options, line) : optionError;
    if (!error.empty()) {
        return Usage(std::move(error), verbName);
    }
    line.outcome = CommandLine::Outcome::Run;
    line.socketPath = socketPath;
    return line;
}

}  // namespace ots::control
