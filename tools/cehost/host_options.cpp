#include "host_options.h"

#include <map>

#include "cectl/reg_defines.h"

namespace ots::host {
namespace {

using namespace ots::control;

const char* const kAbout =
    "The device host: runs the platform with its registry kept in a state folder, installs the\n"
    "touch-screen driver, serves the stream devices (\"OTS1:\") to other processes on a Unix\n"
    "socket and injects the driver's mouse events into the chosen sink. cectl, on the same\n"
    "socket, plugs simulated controllers in and touches them.\n";

const char* const kFooter =
    "Defaults: --state $XDG_STATE_HOME/ots or ~/.local/state/ots; --config platform.reg\n"
    "beside the program, or config/platform.reg of the source tree; --socket\n"
    "$OTS_DEVMGR_SOCKET, $XDG_RUNTIME_DIR/ots/devmgr.sock or /tmp/ots-<uid>/devmgr.sock;\n"
    "--driver-dir beside the program; --sink trace (x11 moves the pointer through XTest);\n"
    "--trace-file stdout; --display $DISPLAY; --time-scale 1; --usb sim; --log stderr.\n\n"
    "SIGINT or SIGTERM unplugs every controller, leaves the registry saved, removes the socket\n"
    "and ends with 0. Other exit codes: 1 usage, 3 another host serves the socket, 4 the state\n"
    "folder cannot be written, 5 the driver library cannot be loaded or installed, 6 the\n"
    "platform configuration cannot be read, 7 the socket cannot be created, 8 libusb cannot\n"
    "be started. A corrupt registry file is set aside as registry.reg.corrupt and the host\n"
    "starts with an empty registry.";

}  // namespace

HostCommandLine ParseHostCommandLine(std::span<const std::string> args) {
    HostCommandLine line;
    HostOptions& o = line.options;
    CLI::App app(kAbout, "cehost");
    app.footer(kFooter);
    const auto path = [&app](const std::string& name, std::string& target, const char* type,
                             const std::string& what) {
        app.add_option(name, target, what)->type_name(type)->check(NotEmpty());
    };
    path("--state", o.stateDir, "DIR",
         "the state folder; the registry is kept in DIR/registry.reg");
    path("--config", o.configFile, "FILE", "the platform configuration to import");
    ots::control::AddRegDefineOption(app, o.defines);
    path("--socket", o.socketPath, "PATH",
         "the socket cectl and the stream devices' clients reach");
    path("--driver-dir", o.driverDir, "DIR", "where driver libraries are found");
    app.add_option_function<std::string>(
           "--sink",
           [&o](const std::string& name) {
               static const std::map<std::string, SinkKind> sinks = {
                   {"trace", SinkKind::Trace}, {"none", SinkKind::None}, {"x11", SinkKind::X11}};
               o.sink = sinks.at(name);
           },
           "where mouse events go: JSON lines, nowhere, an X pointer")
        ->type_name("trace|none|x11")
        ->check(OneOf({"trace", "none", "x11"}));
    path("--trace-file", o.traceFile, "FILE", "the trace sink's file");
    path("--display", o.display, ":N", "the x11 sink's display");
    app.add_option("--time-scale", o.timeScale,
                   "real ms per platform ms, above 0 (0.01 runs 100x fast)")
        ->type_name("S")
        ->check(NumberAbove(0));
    app.add_option_function<std::string>(
           "--usb",
           [&o](const std::string& kind) {
               o.usb = kind == "sim" ? UsbKind::Sim : UsbKind::Libusb;
           },
           "simulated controllers only, or also real ones (libusb)")
        ->type_name("sim|libusb")
        ->check(OneOf({"sim", "libusb"}));
    path("--record", o.recordFile, "FILE",
         "record every controller's traffic (the n-th after the first: FILE.n)");
    path("--log", o.logFile, "FILE", "debug output to FILE");
    ots::control::Parsed parsed = ParseWith(app, args);
    line.outcome = parsed.outcome;
    line.message = std::move(parsed.message);
    return line;
}

}  // namespace ots::host
