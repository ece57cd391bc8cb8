// cehost's command line.
#pragma once

#include <map>
#include <span>
#include <string>

#include "cectl/cli_parse.h"

namespace ots::host {

enum class SinkKind { Trace, None, X11 };
// Where controllers come from: simulated ones plugged by cectl, or also the real ones on libusb.
enum class UsbKind { Sim, Libusb };

struct HostOptions {
    std::string stateDir;    // empty: $XDG_STATE_HOME/ots or ~/.local/state/ots
    std::string configFile;  // empty: platform.reg beside the program or in the source tree
    std::map<std::string, std::string> defines;  // --define NAME[=VALUE], for the configuration
    std::string socketPath;                      // empty: the default (ce/host/stream_server.h)
    std::string driverDir;                       // empty: the folder of the program
    std::string logFile;                         // empty: debug output to stderr
    SinkKind sink = SinkKind::Trace;
    std::string traceFile;   // empty: stdout
    std::string display;     // the X11 sink's display; empty: $DISPLAY
    double timeScale = 1.0;  // real ms per platform ms
    std::string recordFile;  // --record: every controller's traffic (controllers.h)
    UsbKind usb = UsbKind::Sim;
};

struct HostCommandLine {
    using Outcome = ots::control::ParseOutcome;
    Outcome outcome = Outcome::Usage;
    HostOptions options;
    std::string message;
};

// args: the arguments after the program name.
HostCommandLine ParseHostCommandLine(std::span<const std::string> args);

}  // namespace ots::host
