// cehost: the device host. See `cehost --help`.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/input_sink.h"
#include "ce/host/libusb_bus.h"
#include "ce/host/registry_store.h"
#include "ce/host/stream_server.h"
#include "ce/host/usb_host.h"
#include "ce/host/x11_pointer_sink.h"
#include "control_service.h"
#include "controllers.h"
#include "event_log.h"
#include "host_options.h"
#include "host_setup.h"

namespace {

using namespace ots::host;

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitSocketInUse = 3;
constexpr int kExitStateFolder = 4;
constexpr int kExitDriver = 5;
constexpr int kExitConfig = 6;
constexpr int kExitSocket = 7;
constexpr int kExitLibusb = 8;

void Say(const std::string& message) {
    std::cerr << "cehost: " << message << std::endl;
}

int Fail(int code, const std::string& message) {
    Say(message);
    return code;
}

// The signals that end the host wait for main's sigwait; every thread inherits the mask.
sigset_t BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signals;
}

// Where mouse events go besides the host's own log: a trace, or a real pointer.
class TraceOutput {
  public:
    bool Open(const HostOptions& options, std::string* error) {
        if (options.sink == SinkKind::None) {
            return true;
        }
        if (options.sink == SinkKind::X11) {
            pointer_ = ce::host::X11PointerSink::Open(options.display, error);
            return pointer_ != nullptr;
        }
        std::FILE* out = stdout;
        if (!options.traceFile.empty()) {
            file_.reset(std::fopen(options.traceFile.c_str(), "a"));
            if (!file_) {
                *error = "cannot open the trace file " + options.traceFile;
                return false;
            }
            out = file_.get();
        }
        trace_ = std::make_unique<ce::host::MouseEventTrace>(out);
        return true;
    }

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::unique_ptr<ce::host::MouseEventTrace> trace_;  // removed before the file closes
    std::unique_ptr<ce::host::X11PointerSink> pointer_;
};

// Everything up to serving; a nonzero exit code when the host cannot go on.
int SetUp(const HostOptions& options, std::string& registryFile) {
    const std::string stateDir = options.stateDir.empty() ? DefaultStateDir() : options.stateDir;
    std::string error;
    if (!PrepareStateDir(stateDir, &error)) {
        return Fail(kExitStateFolder, error);
    }
    registryFile = stateDir + "/registry.reg";
    if (const auto corrupt = ce::host::BindRegistryFile(registryFile)) {
        Say("the registry file is corrupt: " + corrupt->ToString());
    }
    const std::string config = FindPlatformConfig(options.configFile);
    if (config.empty()) {
        return Fail(kExitConfig, "no platform configuration found (give --config FILE)");
    }
    ce::host::RegTextOptions read;
    read.defines = options.defines;
    read.note = [](const std::string& line) { Say(line); };
    if (const auto bad = ce::host::ImportRegFile(config, read)) {
        return Fail(kExitConfig, "cannot import the platform configuration: " + bad->ToString());
    }
    ce::host::SetDriverSearchPath(options.driverDir.empty() ? ProgramDir() : options.driverDir);
    if (!InstallDriver(&error)) {
        return Fail(kExitDriver, error);
    }
    return kExitDone;
}

int Serve(const HostOptions& options, ce::host::StreamServer& server, sigset_t stopSignals) {
    std::string registryFile;
    if (const int code = SetUp(options, registryFile); code != kExitDone) {
        return code;
    }
    std::string error;
    TraceOutput trace;
    if (!trace.Open(options, &error)) {
        return Fail(kExitUsage, error);
    }
    EventLog events;
    Controllers controllers(options.recordFile);
    std::unique_ptr<ce::host::LibusbBus> realDevices;
    if (options.usb == UsbKind::Libusb) {
        const auto record = [&controllers](std::shared_ptr<ce::host::UsbDeviceModel> model) {
            std::string why;
            auto recorded = controllers.Recorded(std::move(model), &why);
            if (!why.empty()) {
                Say(why);
            }
            return recorded;
        };
        realDevices = ce::host::LibusbBus::Start({.report = Say, .wrap = record}, &error);
        if (!realDevices) {
            ce::host::UnbindRegistryFile();
            return Fail(kExitLibusb, error);
        }
    }
    ControlService service(controllers, events);
    server.SetControlHandler(
        [&service](ce::host::ControlChannel& channel, std::span<const std::uint8_t> payload) {
            service.Handle(channel, payload);
        });
    server.Start();
    Say("serving on " + server.SocketPath() + ", registry in " + registryFile);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    Say("stopping");
    service.BeginShutdown();
    realDevices.reset();
    controllers.UnplugAll();
    server.Stop();
    ce::host::UnbindRegistryFile();
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    const sigset_t stopSignals = BlockStopSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const HostCommandLine line = ParseHostCommandLine(args);
    if (line.outcome == HostCommandLine::Outcome::Help) {
        std::cout << line.message;
        return kExitDone;
    }
    if (line.outcome == HostCommandLine::Outcome::Usage) {
        std::cerr << line.message;
        return kExitUsage;
    }
    const HostOptions& options = line.options;
    ce::host::SetTimeScale(options.timeScale);
    if (!options.logFile.empty() && !ce::host::SetDebugLogFile(options.logFile)) {
        return Fail(kExitUsage, "cannot open the log file " + options.logFile);
    }
    // The socket is taken first, so a second host leaves the first one's state alone.
    ce::host::StreamServer server(options.socketPath.empty() ? ce::host::DevmgrSocketPath()
                                                             : options.socketPath);
    std::string error;
    switch (server.Listen(&error)) {
        case ce::host::StreamServer::ListenResult::Listening:
            break;
        case ce::host::StreamServer::ListenResult::InUse:
            return Fail(kExitSocketInUse, error);
        case ce::host::StreamServer::ListenResult::Failed:
            return Fail(kExitSocket, error);
    }
    return Serve(options, server, stopSignals);
}
