// CreateFile, DeviceIoControl and CloseHandle of this program reach the driver in a host
// process; the host refuses what a well-behaved client never sends and goes on serving; its
// socket is private and taken by one host at a time.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>

#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "ce/stream.h"
#include "cectl/control_request.h"
#include "protocol/control_codes.h"
#include "protocol/driver_config.h"
#include "support/bus.h"
#include "support/host_process.h"
#include "support/scaled_clock.h"

namespace {

namespace wire = ce::host::wire;
using Bytes = std::vector<BYTE>;
using ots::test::GetRecord;
using ots::test::HostProcess;
using ots::test::StreamHandle;
using ots::test::TempDir;

// The simulated coordinate controller's identity: vendor 0x5A17, product 0x0101, 0x0100.
const Bytes kDeviceId = {0x17, 0x5A, 0x01, 0x01, 0x00, 0x01};

// The last error of a failed call; ERROR_SUCCESS for one that succeeded.
DWORD Outcome(BOOL ok) {
    return ok ? ERROR_SUCCESS : std::max<DWORD>(GetLastError(), 1);
}

void BindStaleSocket(const std::string& path) {  // what a host that died leaves behind
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// One host for the suite, with a coordinate controller plugged in; this program its client.
class RemoteHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        host_ = new HostProcess(*dir_, {"--sink", "none"});
        ready_ = host_->WaitReady() && host_->Cectl({"plug", "coordinate"}).exitCode == 0;
    }
    static void TearDownTestSuite() {
        delete host_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_) << "no host: " << host_->errText();
        ::setenv("OTS_DEVMGR_SOCKET", host_->socket().c_str(), 1);
    }
    // The device opens and answers with its identity.
    static void ExpectServed() { EXPECT_EQ(GetRecord(IOCTL_GET_DEVICE_ID, 6), kDeviceId); }
    static inline TempDir* dir_;
    static inline HostProcess* host_;
    static inline bool ready_ = false;
};

TEST_F(RemoteHost, ControlCodesRoundTripAndTheDriversAnswerComesBackWhole) {
    std::optional<StreamHandle> device(std::in_place);
    ASSERT_TRUE(device->ok()) << "error " << device->error();
    Bytes out(4096, 0xEE);
    DWORD returned = 1234;
    ASSERT_TRUE(DeviceIoControl(device->get(), IOCTL_GET_DEVICE_ID, nullptr, 0, out.data(), 4096,
                                &returned, nullptr));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), kDeviceId);
    EXPECT_EQ(Bytes(out.begin() + 6, out.end()), Bytes(4090, 0xEE)) << "bytes it did not write";
    EXPECT_EQ(returned, 1234u) << "the driver never writes the count";

    const Bytes original = device->Get(IOCTL_GET_DRIVER_CONFIG, ots::kDriverConfigSize);
    Bytes changed = original;
    changed[18] = 7;  // Smoothness
    for (std::size_t i = 38; i < changed.size(); ++i) {
        changed[i] = static_cast<BYTE>(0xA0 + i);  // reserved bytes travel too
    }
    ASSERT_TRUE(device->Set(IOCTL_SET_DRIVER_CONFIG, changed));
    EXPECT_EQ(device->Get(IOCTL_GET_DRIVER_CONFIG, ots::kDriverConfigSize), changed);
    ASSERT_TRUE(device->Set(IOCTL_SET_DRIVER_CONFIG, original));

    Bytes shortBuffer(10, 0xEE), over(4097, 0);
    EXPECT_EQ(Outcome(device->Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &shortBuffer)),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(shortBuffer, Bytes(10, 0xEE));
    EXPECT_FALSE(DeviceIoControl(device->get(), IOCTL_GET_DRIVER_CONFIG, nullptr, 0, nullptr, 58,
                                 nullptr, nullptr))
        << "a null output buffer stays null in the host";
    EXPECT_EQ(Outcome(device->Io(IOCTL_GET_DEVICE_ID, nullptr, &over)), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(device->Io(IOCTL_SET_DRIVER_CONFIG, &over, nullptr));
    EXPECT_EQ(StreamHandle().error(), ERROR_ACCESS_DENIED) << "one client at a time";
    device.reset();
    ExpectServed();
    const std::wstring names[] = {L"OTS2:", L"XYZ1:", L"OTS1", std::wstring(65, L'O')};
    for (const std::wstring& name : names) {
        EXPECT_EQ(StreamHandle(name.c_str()).error(), ERROR_FILE_NOT_FOUND);
    }
}

Bytes Frame(std::uint32_t length, std::uint16_t type, Bytes payload = {},
            std::uint16_t reserved = 0) {
    Bytes bytes(wire::kHeaderSize);
    wire::StoreHeader(std::span<std::uint8_t, wire::kHeaderSize>(bytes.data(), wire::kHeaderSize),
                      {length, type, reserved, 1});
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

// Sends the bytes (then ends the sending side if asked); whether the host hung up unanswered.
bool HostHangsUp(wire::FrameSocket& connection, const Bytes& bytes, bool endSending = false) {
    EXPECT_TRUE(connection.SendRaw(bytes));
    if (endSending) {
        ::shutdown(connection.fd(), SHUT_WR);
    }
    wire::Frame frame;
    return connection.Receive(frame) != wire::ReceiveResult::Received;
}

// Each frame is judged on its header first (an oversized one must not wait for its payload),
// the connection dropped with the judgement logged, and the host goes on serving.
TEST_F(RemoteHost, MalformedFramesAreJudgedLoggedAndDroppedWhileTheHostGoesOn) {
    using enum wire::ReceiveResult;
    const Bytes garbage(64, 0xA5);
    const std::tuple<const char*, Bytes, bool, std::string> cases[] = {
        {"garbage", garbage, false, wire::Describe(BadHeader)},
        {"reserved bits", Frame(4, wire::kCloseRequest, {}, 1), false, wire::Describe(BadHeader)},
        {"huge length", Frame(0xFFFFFFFFu, wire::kIoControlRequest), false,
         wire::Describe(Oversized)},
        {"ioctl bound + 1", Frame(24 + 2 * 4096 + 1, wire::kIoControlRequest), false,
         wire::Describe(Oversized)},
        {"close bound + 1", Frame(5, wire::kCloseRequest), false, wire::Describe(Oversized)},
        {"unknown type", Frame(0, 0x77), false, wire::Describe(UnknownType)},
        {"cut header", Bytes{1, 2, 3, 4, 5}, true, wire::Describe(Truncated)},
        {"cut payload", Frame(4, wire::kCloseRequest, {1}), true, wire::Describe(Truncated)},
        {"payload shorter than its fields", Frame(3, wire::kCloseRequest, {1, 0, 0}), false,
         "malformed request"},
        {"a reply sent as a request", Frame(8, wire::kOpenReply, Bytes(8, 0)), false,
         "malformed request"},
    };
    for (const auto& [name, bytes, endSending, judged] : cases) {
        SCOPED_TRACE(name);
        const std::size_t logged = ots::test::ReadFile(host_->logFile()).size();
        wire::FrameSocket connection = wire::FrameSocket::Connect(host_->socket());
        EXPECT_TRUE(HostHangsUp(connection, bytes, endSending));
        EXPECT_TRUE(ots::test::WaitUntil([&] {
            return ots::test::ReadFile(host_->logFile())
                       .find(judged + "; the connection is dropped", logged) != std::string::npos;
        }));
        ExpectServed();
    }
    // A dropped connection releases the device it opened.
    wire::FrameSocket holder = wire::FrameSocket::Connect(host_->socket());
    ASSERT_TRUE(holder.Send(wire::kOpenRequest, 1,
                            wire::Encode(wire::OpenRequest{GENERIC_READ, 0, L"OTS1:"})));
    wire::Frame frame;
    ASSERT_EQ(holder.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_FALSE(StreamHandle().ok());
    EXPECT_TRUE(HostHangsUp(holder, garbage));
    ExpectServed();
}

TEST_F(RemoteHost, HandlesTheConnectionDoesNotHoldAndBadControlRequestsAreRefused) {
    wire::FrameSocket connection = wire::FrameSocket::Connect(host_->socket());
    const wire::IoControlRequest request{1,  IOCTL_GET_DEVICE_ID, 0, 6, wire::kHasOutput, 0,
                                         {}, Bytes(6, 0xEE)};  // handle 1: never opened here
    wire::Frame frame;
    ASSERT_TRUE(connection.Send(wire::kIoControlRequest, 5, wire::Encode(request)));
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(frame.requestId, 5u);
    const auto reply = wire::DecodeIoControlReply(frame.payload).value();
    EXPECT_EQ(std::make_tuple(reply.result, reply.lastError, reply.output),
              std::make_tuple(FALSE, DWORD{ERROR_INVALID_HANDLE}, Bytes(6, 0xEE)));
    ASSERT_TRUE(connection.Send(wire::kCloseRequest, 6, wire::Encode(wire::CloseRequest{1})));
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    EXPECT_EQ(wire::DecodeCloseReply(frame.payload).value().lastError, ERROR_INVALID_HANDLE);
    ASSERT_TRUE(connection.Send(wire::kControlRequest, 3, Bytes{1, 2, 3}));
    ASSERT_EQ(connection.Receive(frame), wire::ReceiveResult::Received);
    const auto control = ots::control::DecodeReply(frame.payload).value();
    EXPECT_EQ(control.status, ots::control::ReplyStatus::Refused);
    EXPECT_NE(control.text.find("malformed"), std::string::npos);
}

TEST(RemoteNoHost, OpenFailsWithFileNotFoundAndHandlesOfAGoneHostAreInvalid) {
    TempDir dir;
    BindStaleSocket(dir.File("stale.sock"));
    for (const std::string& socket : {dir.File("nobody.sock"), dir.File("stale.sock")}) {
        ::setenv("OTS_DEVMGR_SOCKET", socket.c_str(), 1);
        EXPECT_EQ(StreamHandle().error(), ERROR_FILE_NOT_FOUND);
    }
    HostProcess host(dir, {"--sink", "none"});
    ASSERT_TRUE(host.WaitReady()) << host.errText();
    ASSERT_EQ(host.Cectl({"plug", "coordinate"}).exitCode, 0);
    ::setenv("OTS_DEVMGR_SOCKET", host.socket().c_str(), 1);
    const HANDLE device =
        CreateFileW(L"OTS1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.Stop(SIGTERM), 0);
    Bytes id(6, 0xEE);
    EXPECT_EQ(Outcome(DeviceIoControl(device, IOCTL_GET_DEVICE_ID, nullptr, 0, id.data(), 6,
                                      nullptr, nullptr)),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(id, Bytes(6, 0xEE));
    EXPECT_TRUE(CloseHandle(device)) << "closes quietly";
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & (S_IFMT | 07777);
}

TEST(StreamServer, TakesAPrivateSocketOneHostAtATimeAndNamesWhatFails) {
    ::unsetenv("OTS_DEVMGR_SOCKET");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/5", 1);
    EXPECT_EQ(ce::host::DevmgrSocketPath(), "/run/user/5/ots/devmgr.sock");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(ce::host::DevmgrSocketPath(),
              "/tmp/ots-" + std::to_string(::getuid()) + "/devmgr.sock");
    ::setenv("OTS_DEVMGR_SOCKET", "/somewhere/own.sock", 1);
    EXPECT_EQ(ce::host::DevmgrSocketPath(), "/somewhere/own.sock");

    using Result = ce::host::StreamServer::ListenResult;
    TempDir dir;
    const std::string path = dir.File("run/ots/devmgr.sock");
    std::string error;
    const auto listen = [&](const std::string& socket, Result expected, const std::string& named) {
        EXPECT_EQ(ce::host::StreamServer(socket).Listen(&error), expected) << socket;
        EXPECT_NE(error.find(named), std::string::npos) << error;
    };
    ce::host::StreamServer first(path);
    ASSERT_EQ(first.Listen(&error), Result::Listening) << error;
    EXPECT_EQ(ModeOf(dir.File("run")), S_IFDIR | 0700u);
    EXPECT_EQ(ModeOf(dir.File("run/ots")), S_IFDIR | 0700u);
    EXPECT_EQ(ModeOf(path), S_IFSOCK | 0600u);
    listen(path, Result::InUse, path);
    EXPECT_EQ(ModeOf(path), S_IFSOCK | 0600u) << "the loser must leave the socket alone";
    first.Stop();
    EXPECT_EQ(::access(path.c_str(), F_OK), -1) << "removed at stop";
    BindStaleSocket(path);
    EXPECT_EQ(ce::host::StreamServer(path).Listen(&error), Result::Listening)
        << "a socket file nobody serves is replaced";
    ots::test::WriteFile(dir.File("file"), "");
    listen(dir.File("file") + "/devmgr.sock", Result::Failed, dir.File("file"));
    listen(dir.File(std::string(120, 'x')), Result::Failed, "too long");
    if (::getuid() == 0) {
        const std::string foreign = dir.File("foreign");
        ASSERT_EQ(::mkdir(foreign.c_str(), 0777), 0);
        ASSERT_EQ(::chown(foreign.c_str(), 12345, 12345), 0);
        listen(foreign + "/devmgr.sock", Result::Failed, "another user");
    }
}

}  // namespace
