// A client process's CreateFile, DeviceIoControl and CloseHandle reach the driver in the host
// process: control codes round trip, the single-open rule holds across processes, and a client
// that dies gives its handle back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ce/host/stream_server.h"
#include "protocol/control_codes.h"
#include "protocol/driver_config.h"
#include "remote_fixture.h"

namespace remote_test {
namespace {

using ::testing::Each;
using ::testing::ElementsAreArray;

using RemoteStream = RemoteHostTest;

TEST_F(RemoteStream, OpenReachesTheDeviceOfTheHost) {
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok()) << "error " << GetLastError();

    Bytes id(6, 0xEE);
    ASSERT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &id));
    EXPECT_THAT(id, ElementsAreArray(kCoordinateDeviceId));
    EXPECT_TRUE(device.Close());
}

TEST_F(RemoteStream, BytesTheDriverDoesNotWriteComeBackUnchanged) {
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok());
    Bytes out(64, 0xEE);
    ASSERT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &out));
    EXPECT_THAT(Bytes(out.begin(), out.begin() + 6), ElementsAreArray(kCoordinateDeviceId));
    EXPECT_THAT(Bytes(out.begin() + 6, out.end()), Each(0xEE));

    // The driver never writes the returned-bytes count: the caller's value stays.
    DWORD returned = 1234;
    ASSERT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &out, &returned));
    EXPECT_EQ(returned, 1234u);
}

TEST_F(RemoteStream, SetThenGetDriverConfigRoundTripsAllBytes) {
    Bytes original(ots::kDriverConfigSize);
    {
        Handle device(OpenDevice());
        ASSERT_TRUE(device.ok());
        ASSERT_TRUE(Io(device.get(), IOCTL_GET_DRIVER_CONFIG, nullptr, &original));
    }
    Bytes changed = original;
    changed[18] = 7;  // Smoothness
    for (std::size_t i = 38; i < changed.size(); ++i) {
        changed[i] = static_cast<BYTE>(0xA0 + i);  // reserved bytes travel too
    }
    {
        Handle device(OpenDevice());
        ASSERT_TRUE(device.ok());
        ASSERT_TRUE(Io(device.get(), IOCTL_SET_DRIVER_CONFIG, &changed, nullptr));
    }
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok());
    Bytes readBack(ots::kDriverConfigSize, 0);
    ASSERT_TRUE(Io(device.get(), IOCTL_GET_DRIVER_CONFIG, nullptr, &readBack));
    EXPECT_EQ(readBack, changed);
    ASSERT_TRUE(Io(device.get(), IOCTL_SET_DRIVER_CONFIG, &original, nullptr));
}

TEST_F(RemoteStream, TheDriversRefusalAndItsLastErrorComeBack) {
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok());
    Bytes shortBuffer(10, 0xEE);
    SetLastError(0);
    EXPECT_FALSE(Io(device.get(), IOCTL_GET_DRIVER_CONFIG, nullptr, &shortBuffer));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_THAT(shortBuffer, Each(0xEE));

    // A null output buffer stays null in the host, whatever length comes with it.
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(device.get(), IOCTL_GET_DRIVER_CONFIG, nullptr, 0, nullptr, 58,
                                 nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(RemoteStream, BuffersBeyond4096BytesAreRefusedByTheClient) {
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok());
    Bytes limit(4096, 0xEE);
    EXPECT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &limit));
    EXPECT_THAT(Bytes(limit.begin(), limit.begin() + 6), ElementsAreArray(kCoordinateDeviceId));

    Bytes over(4097, 0);
    SetLastError(0);
    EXPECT_FALSE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &over));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(Io(device.get(), IOCTL_SET_DRIVER_CONFIG, &over, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // The handle still works afterwards.
    EXPECT_TRUE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &limit));
}

TEST_F(RemoteStream, AnotherClientIsRefusedWhileTheDeviceIsOpen) {
    {
        Handle device(OpenDevice());
        ASSERT_TRUE(device.ok());
        EXPECT_EQ(ProbeOpen(Dir(), Host().socket(), "OTS1:"), "error 5");

        // The same process, through a second connection, is refused alike.
        EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(ProbeOpen(Dir(), Host().socket(), "OTS1:"), "opened");
}

TEST_F(RemoteStream, UnknownNamesAreNotFoundAtTheHost) {
    for (const wchar_t* name : {L"OTS2:", L"XYZ1:", L"OTS1"}) {
        EXPECT_EQ(OpenDevice(name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(OpenDevice(std::wstring(65, L'O').c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RemoteStream, AClientKilledWhileHoldingTheDeviceReleasesIt) {
    StreamClientProcess holder(Dir(), Host().socket(), "OTS1:");
    ASSERT_EQ(holder.FirstLine(), "opened");
    EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    holder.Kill(SIGKILL);
    // The host closes the dead client's handle once it sees the connection end.
    const auto deadline = std::chrono::steady_clock::now() + kProcessTimeout;
    HANDLE device = INVALID_HANDLE_VALUE;
    while ((device = OpenDevice()) == INVALID_HANDLE_VALUE &&
           std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Handle reopened(device);
    ASSERT_TRUE(reopened.ok());
    Bytes id(6);
    EXPECT_TRUE(Io(reopened.get(), IOCTL_GET_DEVICE_ID, nullptr, &id));
}

TEST(RemoteStreamNoHost, CreateFileFailsWithFileNotFound) {
    TempDir dir;
    ::setenv("OTS_DEVMGR_SOCKET", dir.File("nobody.sock").c_str(), 1);
    SetLastError(0);
    EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // A socket file left behind by a host that died answers the same.
    const std::string stale = dir.File("stale.sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, stale.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ::setenv("OTS_DEVMGR_SOCKET", stale.c_str(), 1);
    EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(RemoteStreamHostGone, HandlesFailAsInvalidAndCloseQuietly) {
    TempDir dir;
    HostProcess host(dir, {"--sink", "none"});
    ASSERT_TRUE(host.WaitReady()) << host.errText();
    ASSERT_EQ(host.Cectl({"plug", "coordinate"}).exitCode, 0);
    ::setenv("OTS_DEVMGR_SOCKET", host.socket().c_str(), 1);
    Handle device(OpenDevice());
    ASSERT_TRUE(device.ok());

    EXPECT_EQ(host.Stop(SIGTERM), 0);
    Bytes id(6, 0xEE);
    SetLastError(0);
    EXPECT_FALSE(Io(device.get(), IOCTL_GET_DEVICE_ID, nullptr, &id));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_THAT(id, Each(0xEE));
    EXPECT_TRUE(device.Close());
}

}  // namespace
}  // namespace remote_test
