// One DeviceIoControl round trip (IOCTL_GET_DRIVER_CONFIG, 58 bytes out) on "OTS1:" of a
// simulated coordinate controller: in the host process itself, and through the host's socket
// as a client process makes it (the serving thread here stands for the host process, the
// benchmark thread for the client). Nine repetitions each; the median is the figure to quote.
//
//   build/release/bin/bench_ioctl_roundtrip
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

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

// The platform of a host with one controller plugged and its devices served on a socket.
class BenchHost {
  public:
    bool Start() {
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
        char folder[] = "/tmp/ots-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            return false;
        }
        folder_ = folder;
        server_ = std::make_unique<ce::host::StreamServer>(folder_ + "/devmgr.sock");
        if (server_->Listen(nullptr) != ce::host::StreamServer::ListenResult::Listening) {
            return false;
        }
        server_->Start();
        return true;
    }

    void Stop() {
        server_.reset();
        controller_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string SocketPath() const { return server_->SocketPath(); }

  private:
    void* library_ = nullptr;  // stays loaded, as the USB stack keeps it
    std::unique_ptr<ce::host::ScopedUsbDevice> controller_;
    std::unique_ptr<ce::host::StreamServer> server_;
    std::string folder_;
};

BenchHost gHost;

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
    RoundTrips(state, ce::host::OpenRemoteStream(gHost.SocketPath(), L"OTS1:",
                                                 GENERIC_READ | GENERIC_WRITE, 0));
}
BENCHMARK(BM_IoctlAcrossSocket)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv) || !gHost.Start()) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gHost.Stop();
    return 0;
}
