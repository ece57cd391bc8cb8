// One DeviceIoControl round trip (IOCTL_GET_DRIVER_CONFIG, 58 bytes out) on "OTS1:" of a
// simulated coordinate controller: in the host process itself, and from another process
// through the host's socket, as tspanel makes it (a child process forked at start hosts the
// controller and serves the socket; this process is the client). Nine repetitions each; the
// median is the figure to quote.
//
//   build/release/bin/bench_ioctl_roundtrip
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ce/host/clock.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/host/stream_server.h"
#include "ce/host/usb_host.h"
#include "ce/stream.h"
#include "ce/usbd.h"
#include "protocol/control_codes.h"
#include "protocol/driver_config.h"
#include "sim/coordinate_controller.h"

namespace {

constexpr int kRepetitions = 9;

// The platform of a host with one controller plugged, its devices served on a socket when
// one is named.
class BenchHost {
  public:
    bool Start(const std::string& socketPath) {
        ce::host::SetTimeScale(0.01);
        ce::host::ResetRegistry();
        const auto config =
            std::filesystem::path(__FILE__).parent_path().parent_path() / "config/platform.reg";
        if (const auto error = ce::host::ImportRegFile(config.string())) {
            std::fprintf(stderr, "%s\n", error->ToString().c_str());
            return false;
        }
        const std::string driver = ce::host::ResolveDriverLibrary("libotsusb.so");
        library_ = dlopen(driver.c_str(), RTLD_NOW);
        auto install =
            library_ != nullptr
                ? reinterpret_cast<LPUSB_INSTALL_DRIVER>(dlsym(library_, "USBInstallDriver"))
                : nullptr;
        if (install == nullptr || !install(L"libotsusb.so")) {
            std::fprintf(stderr, "cannot install %s\n", driver.c_str());
            return false;
        }
        controller_ = std::make_unique<ce::host::ScopedUsbDevice>(
            std::make_shared<ots::sim::CoordinateController>());
        if (socketPath.empty()) {
            return true;
        }
        server_ = std::make_unique<ce::host::StreamServer>(socketPath);
        if (server_->Listen(nullptr) != ce::host::StreamServer::ListenResult::Listening) {
            return false;
        }
        server_->Start();
        return true;
    }

    void Stop() {
        server_.reset();
        controller_.reset();
    }

  private:
    void* library_ = nullptr;  // stays loaded, as the USB stack keeps it
    std::unique_ptr<ce::host::ScopedUsbDevice> controller_;
    std::unique_ptr<ce::host::StreamServer> server_;
};

BenchHost gHost;
std::string gSocketPath;

// The host process: serves until the benchmark closes `quit`, and says on `ready` when it
// listens (one byte) or that it could not (end of stream).
[[noreturn]] void ServeInChild(int ready, int quit) {
    BenchHost host;
    if (host.Start(gSocketPath)) {
        const char yes = 1;
        static_cast<void>(::write(ready, &yes, 1));
        char ignored;
        static_cast<void>(::read(quit, &ignored, 1));
    }
    host.Stop();
    ::_exit(0);
}

void RoundTrips(benchmark::State& state, HANDLE device) {
    if (device == INVALID_HANDLE_VALUE) {
        state.SkipWithError("cannot open OTS1:");
        return;
    }
    std::array<BYTE, ots::kDriverConfigSize> config{};
    for (auto _ : state) {
        if (!DeviceIoControl(device, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, config.data(),
                             static_cast<DWORD>(config.size()), nullptr, nullptr)) {
            state.SkipWithError("IOCTL_GET_DRIVER_CONFIG failed");
            break;
        }
        benchmark::DoNotOptimize(config.data());
    }
    CloseHandle(device);
}

void BM_IoctlInProcess(benchmark::State& state) {
    RoundTrips(state, CreateFileW(L"OTS1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr));
}
BENCHMARK(BM_IoctlInProcess)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void BM_IoctlAcrossSocket(benchmark::State& state) {
    RoundTrips(state,
               ce::host::OpenRemoteStream(gSocketPath, L"OTS1:", GENERIC_READ | GENERIC_WRITE, 0));
}
BENCHMARK(BM_IoctlAcrossSocket)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    char folder[] = "/tmp/ots-bench-XXXXXX";
    int ready[2];
    int quit[2];
    if (mkdtemp(folder) == nullptr || ::pipe(ready) != 0 || ::pipe(quit) != 0) {
        return 1;
    }
    gSocketPath = std::string(folder) + "/devmgr.sock";
    // Forked before either process starts a thread.
    const pid_t host = ::fork();
    if (host == 0) {
        ::close(ready[0]);
        ::close(quit[1]);
        ServeInChild(ready[1], quit[0]);
    }
    ::close(ready[1]);
    ::close(quit[0]);
    char listening = 0;
    const bool served = host > 0 && ::read(ready[0], &listening, 1) == 1;
    int status = 1;
    if (served && gHost.Start({})) {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        gHost.Stop();
        status = 0;
    }
    ::close(quit[1]);  // the host process ends
    if (host > 0) {
        ::waitpid(host, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
