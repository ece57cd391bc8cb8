// The stream calls of one client connection, served on the host's own devices. The session
// owns the handles opened through it and closes whatever is left when it ends.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "ce/host/stream_wire.h"

namespace ce::devmgr {

class StreamSession {
  public:
    // Open handles per connection; more are refused (ERROR_TOO_MANY_OPEN_FILES).
    static constexpr std::size_t kMaxHandles = 64;

    StreamSession();
    ~StreamSession() { CloseAll(); }
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    struct Reply {
        std::uint16_t type;
        std::vector<std::uint8_t> payload;
    };
    // Serves an OpenRequest, IoControlRequest or CloseRequest. nullopt when the request does
    // not match its layout, or is of another type: the connection is then to be dropped.
    std::optional<Reply> Serve(const ce::host::wire::Frame& request);

    // Closes every handle still open (the driver's Close runs for each).
    void CloseAll();
    std::size_t OpenHandles() const { return handles_.size(); }

  private:
    std::optional<Reply> Open(std::span<const std::uint8_t> payload);
    std::optional<Reply> IoControl(std::span<const std::uint8_t> payload);
    std::optional<Reply> Close(std::span<const std::uint8_t> payload);

    std::map<DWORD, HANDLE> handles_;
    DWORD nextHandle_ = 1;
    // The driver gets buffers of the full size, whatever the request carries, so a driver that
    // ignores the lengths still stays within host memory; the padding is zeros.
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> output_;
};

}  // namespace ce::devmgr
