// The host's control requests as cectl sends them, decoded and run by the host's control
// service on its own USB bus (no driver installed, so nothing waits on a real attach).
#include <chrono>

#include "ce/host/stream_server.h"
#include "control_service.h"
#include "fuzz_controller.h"

namespace {

// A request whose touch lasts longer is honoured for its length; that is no fault to find.
constexpr std::uint32_t kMaxDurationMs = 2000;

class NullChannel final : public ce::host::ControlChannel {
  public:
    bool Send(std::uint16_t, std::span<const std::uint8_t>) override { return true; }
    bool WaitClosed(std::chrono::milliseconds) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FastClock();
    static ots::host::EventLog events;
    static ots::host::Controllers controllers;
    static ots::host::ControlService service(controllers, events);
    const std::span<const std::uint8_t> payload(data, size);
    const auto command = ots::control::DecodeCommand(payload);
    if (command && command->durationMs > kMaxDurationMs) {
        return 0;
    }
    // A plug that records writes its file where the request says: no fault to find either.
    if (command && command->verb == ots::control::Verb::Plug && !command->fileName.empty()) {
        return 0;
    }
    NullChannel channel;
    service.Handle(channel, payload);
    controllers.UnplugAll();
    return 0;
}
