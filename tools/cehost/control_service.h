// What cehost does for cectl: one control request in, its output and reply out.
#pragma once

#include <atomic>
#include <mutex>
#include <span>
#include <string>

#include "ce/host/stream_server.h"
#include "cectl/control_request.h"
#include "controllers.h"
#include "event_log.h"

namespace ots::host {

class ControlService {
  public:
    ControlService(Controllers& controllers, EventLog& events)
        : controllers_(controllers), events_(events) {}

    // The server's control handler.
    void Handle(ce::host::ControlChannel& channel, std::span<const std::uint8_t> payload);
    // Refuses every later request (the host is going down).
    void BeginShutdown() { shuttingDown_.store(true); }

    // Runs one command; output streamed to the channel where the command streams.
    ots::control::Reply Run(const ots::control::Command& command,
                            ce::host::ControlChannel& channel);

  private:
    ots::control::Reply Plug(const ots::control::Command& command);
    ots::control::Reply Unplug(const ots::control::Command& command);
    ots::control::Reply List();
    ots::control::Reply Touch(const ots::control::Command& command);
    ots::control::Reply Events(const ots::control::Command& command,
                               ce::host::ControlChannel& channel);

    Controllers& controllers_;
    EventLog& events_;
    std::atomic<bool> shuttingDown_{false};
};

}  // namespace ots::host
