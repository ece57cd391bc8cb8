// The host side of stream access across processes: a Unix socket whose clients each get a
// thread of their own. A thread serves its client's requests in order until the client hangs
// up or sends something malformed, then closes the handles the client left open.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>

#include "ce/debug.h"
#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "remote_stream.h"
#include "socket_path.h"
#include "socket_session.h"

namespace ce::host {
namespace {

constexpr int kListenBacklog = 16;
constexpr std::chrono::milliseconds kDefaultFrameTimeout{5000};
constexpr char kFullText[] = "the host serves too many clients; try again later";

struct Connection {
    unsigned id = 0;
    wire::FrameSocket socket;
    std::thread thread;
    std::atomic<bool> done{false};
};

void LogDropped(unsigned id, const char* why) {
    NKDbgPrintfW(L"<devmgr><StreamServer>connection %u: %hs; the connection is dropped.\n", id,
                 why);
}

std::string Cause(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

class Channel final : public ControlChannel {
  public:
    Channel(Connection& connection, std::uint32_t requestId)
        : connection_(connection), requestId_(requestId) {}

    bool Send(std::uint16_t type, std::span<const std::uint8_t> payload) override {
        return connection_.socket.Send(type, requestId_, payload);
    }

    bool WaitClosed(std::chrono::milliseconds realTimeout) override {
        pollfd watch{connection_.socket.fd(), POLLRDHUP, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(realTimeout.count()));
        return ready > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

  private:
    Connection& connection_;
    const std::uint32_t requestId_;
};

}  // namespace

struct StreamServer::State {
    std::string path;
    int lockFd = -1;
    wire::FrameSocket listener;
    int wake[2] = {-1, -1};
    ControlHandler control;
    std::chrono::milliseconds frameTimeout = kDefaultFrameTimeout;
    std::thread acceptThread;

    std::mutex mutex;
    std::list<std::unique_ptr<Connection>> connections;
    unsigned lastConnectionId = 0;
    bool stopping = false;

    void AcceptLoop();
    void Admit(int fd);
    void ReapLocked();
    void Serve(Connection& connection);
    // False when the connection is to be dropped.
    bool Dispatch(Connection& connection, ce::devmgr::StreamSession& session,
                  const wire::Frame& frame);
    bool TakeSocket(std::string* error);
};

StreamServer::StreamServer(std::string socketPath) : state_(std::make_unique<State>()) {
    state_->path = std::move(socketPath);
}

StreamServer::~StreamServer() {
    Stop();
}

const std::string& StreamServer::SocketPath() const {
    return state_->path;
}

StreamServer::ListenResult StreamServer::Listen(std::string* error) {
    State& s = *state_;
    std::string ignored;
    error = error != nullptr ? error : &ignored;
    if (!ce::devmgr::PrepareSocketFolder(s.path, error)) {
        return ListenResult::Failed;
    }
    const std::string lockPath = s.path + ".lock";
    s.lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (s.lockFd < 0) {
        *error = Cause("cannot open the lock file", lockPath);
        return ListenResult::Failed;
    }
    // A host that holds the lock, or anything else that answers on the path, owns the socket.
    if (::flock(s.lockFd, LOCK_EX | LOCK_NB) != 0 || wire::FrameSocket::Connect(s.path).valid()) {
        ::close(s.lockFd);
        s.lockFd = -1;
        *error = "another host is serving " + s.path;
        return ListenResult::InUse;
    }
    return s.TakeSocket(error) ? ListenResult::Listening : ListenResult::Failed;
}

bool StreamServer::State::TakeSocket(std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        *error = "the socket path " + path + " is too long";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // The lock is ours, so a socket file left there belongs to a host that is gone.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        *error = Cause("cannot remove the old socket", path);
        return false;
    }
    wire::FrameSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid() ||
        ::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        *error = Cause("cannot create the socket", path);
        return false;
    }
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(socket.fd(), kListenBacklog) != 0) {
        *error = Cause("cannot listen on the socket", path);
        ::unlink(path.c_str());
        return false;
    }
    listener = std::move(socket);
    return true;
}

void StreamServer::SetFrameTimeout(std::chrono::milliseconds timeout) {
    state_->frameTimeout = timeout;
}

void StreamServer::SetControlHandler(ControlHandler handler) {
    state_->control = std::move(handler);
}

void StreamServer::Start() {
    State& s = *state_;
    if (!s.listener.valid() || s.acceptThread.joinable() || ::pipe2(s.wake, O_CLOEXEC) != 0) {
        return;
    }
    ce::devmgr::MarkServing();
    s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
}

void StreamServer::Stop() {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        if (s.stopping) {
            return;
        }
        s.stopping = true;
    }
    if (s.acceptThread.joinable()) {
        const char wake = 1;
        static_cast<void>(::write(s.wake[1], &wake, 1));
        s.acceptThread.join();
    }
    // No connection is admitted any more, so the list holds still.
    for (const auto& connection : s.connections) {
        connection->socket.Shutdown();
    }
    for (const auto& connection : s.connections) {
        connection->thread.join();
    }
    s.connections.clear();
    if (s.listener.valid()) {
        s.listener.Close();
        ::unlink(s.path.c_str());
    }
    for (int& fd : s.wake) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (s.lockFd >= 0) {
        ::close(s.lockFd);  // the lock file stays: removing it could let two hosts lock
        s.lockFd = -1;
    }
}

std::size_t StreamServer::ConnectionCount() const {
    std::lock_guard lock(state_->mutex);
    std::size_t count = 0;
    for (const auto& connection : state_->connections) {
        count += connection->done.load() ? 0 : 1;
    }
    return count;
}

void StreamServer::State::AcceptLoop() {
    pollfd watch[2] = {{listener.fd(), POLLIN, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
        if (::poll(watch, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watch[1].revents != 0) {
            return;
        }
        if ((watch[0].revents & POLLIN) != 0) {
            const int fd = ::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Admit(fd);
            }
        }
    }
}

void StreamServer::State::Admit(int fd) {
    std::lock_guard lock(mutex);
    ReapLocked();
    if (stopping || connections.size() >= kMaxConnections) {
        NKDbgPrintfW(L"<devmgr><StreamServer>too many clients; a connection is refused.\n");
        // The client learns why; a fresh socket's buffer takes the short text without blocking.
        wire::FrameSocket refused(fd);
        const auto* text = reinterpret_cast<const std::uint8_t*>(kFullText);
        refused.Send(wire::kServerFull, 0, {text, sizeof kFullText - 1});
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->id = ++lastConnectionId;
    connection->socket = wire::FrameSocket(fd);
    Connection& admitted = *connection;
    connections.push_back(std::move(connection));
    admitted.thread = std::thread([this, &admitted] { Serve(admitted); });
}

void StreamServer::State::ReapLocked() {
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void StreamServer::State::Serve(Connection& connection) {
    {
        ce::devmgr::StreamSession session;
        wire::Frame frame;
        for (;;) {
            const wire::ReceiveResult result = connection.socket.Receive(frame, frameTimeout);
            if (result == wire::ReceiveResult::Closed) {
                break;
            }
            if (result != wire::ReceiveResult::Received) {
                LogDropped(connection.id, wire::Describe(result));
                break;
            }
            if (!Dispatch(connection, session, frame)) {
                break;
            }
        }
    }  // the session closes the handles the client left open
    connection.socket.Shutdown();
    connection.done.store(true);
}

bool StreamServer::State::Dispatch(Connection& connection, ce::devmgr::StreamSession& session,
                                   const wire::Frame& frame) {
    if (frame.type == wire::kControlRequest) {
        if (!control) {
            LogDropped(connection.id, "control request, but this host takes none");
            return false;
        }
        Channel channel(connection, frame.requestId);
        control(channel, frame.payload);
        return true;
    }
    const std::optional<ce::devmgr::StreamSession::Reply> reply = session.Serve(frame);
    if (!reply) {
        LogDropped(connection.id, "malformed request");
        return false;
    }
    // A client gone before its answer still has its handles closed on the way out.
    connection.socket.Send(reply->type, frame.requestId, reply->payload);
    return true;
}

}  // namespace ce::host
