#include "host_options.h"

#include <charconv>
#include <cmath>
#include <map>

#include "cectl/reg_defines.h"

namespace ots::host {
namespace {

const char* const kUsage =
    "usage: cehost [options]\n"
    "\n"
    "The device host: runs the platform with its registry kept in a state folder, installs the\n"
    "touch-screen driver, serves the stream devices (\"OTS1:\") to other processes on a Unix\n"
    "socket and injects the driver's mouse events into the chosen sink. cectl, on the same\n"
    "socket, plugs simulated controllers in and touches them.\n"
    "\n"
    "  --state DIR         the state folder (default $XDG_STATE_HOME/ots or ~/.local/state/ots);\n"
    "                      the registry is kept in DIR/registry.reg\n"
    "  --config FILE       the platform configuration to import (default platform.reg beside\n"
    "                      the program, or config/platform.reg of the source tree)\n"
    "  --socket PATH       the socket (default $OTS_DEVMGR_SOCKET, $XDG_RUNTIME_DIR/ots/\n"
    "                      devmgr.sock or /tmp/ots-<uid>/devmgr.sock)\n"
    "  --driver-dir DIR    where driver libraries are found (default: beside the program)\n"
    "  --sink trace|none|x11  where mouse events go (default trace: JSON lines; x11: the\n"
    "                      pointer of an X display, through XTest)\n"
    "  --trace-file FILE   the trace sink's file (default stdout)\n"
    "  --display :N        the x11 sink's display (default $DISPLAY)\n"
    "  --time-scale S      real ms per platform ms, above 0 (default 1; 0.01 runs 100x fast)\n"
    "  --log FILE          debug output to FILE (default stderr)\n"
    "  --help              this text\n"
    "\n"
    "SIGINT or SIGTERM unplugs every controller, leaves the registry saved, removes the socket\n"
    "and ends with 0. Other exit codes: 1 usage, 3 another host serves the socket, 4 the state\n"
    "folder cannot be written, 5 the driver library cannot be loaded or installed, 6 the\n"
    "platform configuration cannot be read, 7 the socket cannot be created. A corrupt registry\n"
    "file is set aside as registry.reg.corrupt and the host starts with an empty registry.\n";

HostCommandLine Usage(const std::string& message) {
    return {HostCommandLine::Outcome::Usage, {}, "cehost: " + message + " (see cehost --help)\n"};
}

bool ParseScale(const std::string& text, double& scale) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           std::isfinite(scale) && scale > 0.0;
}

}  // namespace

HostCommandLine ParseHostCommandLine(std::span<const std::string> args) {
    HostCommandLine line;
    HostOptions& options = line.options;
    const std::map<std::string, std::string*> paths = {
        {"--state", &options.stateDir},       {"--config", &options.configFile},
        {"--socket", &options.socketPath},    {"--driver-dir", &options.driverDir},
        {"--trace-file", &options.traceFile}, {"--log", &options.logFile},
        {"--display", &options.display},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return {HostCommandLine::Outcome::Help, {}, kUsage};
        }
        const bool known =
            paths.count(arg) != 0 || arg == "--sink" || arg == "--time-scale" || arg == "--define";
        if (!known) {
            return Usage("unknown argument " + arg);
        }
        if (i + 1 == args.size() || args[i + 1].empty()) {
            return Usage(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (const auto path = paths.find(arg); path != paths.end()) {
            *path->second = value;
        } else if (arg == "--define") {
            if (!ots::control::AddRegDefine(value, options.defines)) {
                return Usage("--define takes NAME or NAME=VALUE, not \"" + value + "\"");
            }
        } else if (arg == "--sink") {
            static const std::map<std::string, SinkKind> sinks = {
                {"trace", SinkKind::Trace}, {"none", SinkKind::None}, {"x11", SinkKind::X11}};
            const auto sink = sinks.find(value);
            if (sink == sinks.end()) {
                return Usage("--sink takes trace, none or x11, not \"" + value + "\"");
            }
            options.sink = sink->second;
        } else if (!ParseScale(value, options.timeScale)) {
            return Usage("--time-scale takes a number above 0, not \"" + value + "\"");
        }
    }
    line.outcome = HostCommandLine::Outcome::Run;
    return line;
}

}  // namespace ots::host
