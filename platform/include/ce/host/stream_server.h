// Stream device access across processes. A device host serves its stream devices on a Unix
// stream socket (framing in ce/host/stream_wire.h); in a process that is not a host, a
// CreateFileW of a name it has no device of goes to that socket, and the handle's
// DeviceIoControl and CloseHandle follow it there. Without a host, CreateFileW fails with
// ERROR_FILE_NOT_FOUND.
//
// The socket's path: $OTS_DEVMGR_SOCKET when set, else $XDG_RUNTIME_DIR/ots/devmgr.sock, else
// /tmp/ots-<uid>/devmgr.sock. The socket file has mode 0600 and a folder the server creates
// has mode 0700. "<path>.lock" (kept after the host ends) tells a second host that the socket
// is taken.
//
// The host's own client (cectl) uses the same socket: control requests go to the handler the
// host installs, which answers with ControlOutput and ControlReply messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "ce/types.h"

namespace ce::host {

// The socket path the environment names (see above).
std::string DevmgrSocketPath();

// What a control handler sees of the client connection that sent the request.
class ControlChannel {
  public:
    // Sends a message that answers the request (its id is filled in); false once the client
    // is gone.
    virtual bool Send(std::uint16_t type, std::span<const std::uint8_t> payload) = 0;
    // Waits up to the real interval for the client to hang up or the server to stop; true if
    // either happened. The handler of a request that streams uses it between messages.
    virtual bool WaitClosed(std::chrono::milliseconds realTimeout) = 0;

  protected:
    ~ControlChannel() = default;
};

// Runs on the connection's thread, once per ControlRequest; the connection's next request is
// read when it returns. Requests of several connections may run at once.
using ControlHandler = std::function<void(ControlChannel&, std::span<const std::uint8_t>)>;

class StreamServer {
  public:
    static constexpr std::size_t kMaxConnections = 64;  // a local tool or panel needs a handful

    enum class ListenResult {
        Listening,
        InUse,   // another host holds the socket
        Failed,  // the folder or the socket could not be made (see the error text)
    };

    explicit StreamServer(std::string socketPath);
    ~StreamServer();  // stops
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    const std::string& SocketPath() const;

    // Takes the socket: creates the folder if needed, takes the lock, replaces a socket file
    // that no host serves any more, binds and listens. *error names the path and the cause.
    ListenResult Listen(std::string* error);
    // A client that stops inside a frame for longer than this (real time) is dropped, so that
    // silent clients cannot hold the connection slots; before Start. 5 s unless set.
    void SetFrameTimeout(std::chrono::milliseconds timeout);
    // Installs the control handler; before Start. Without one, control requests are refused.
    void SetControlHandler(ControlHandler handler);
    // Accepts clients, each served on a thread of its own; past kMaxConnections at once, a
    // client is sent ServerFull and closed. From here on this process is a
    // host: its CreateFileW never goes to a socket.
    void Start();
    // Refuses new clients, ends every connection (closing the handles it holds), waits for
    // their threads and removes the socket file. Runs once; later calls do nothing.
    void Stop();

    // Connections being served (tests).
    std::size_t ConnectionCount() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Opens a stream device through the host serving socketPath, whether or not this process has
// a device of that name or serves one itself; a handle for DeviceIoControl and CloseHandle as
// CreateFileW gives it, or INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenRemoteStream(const std::string& socketPath, LPCWSTR name, DWORD access, DWORD share);

}  // namespace ce::host
