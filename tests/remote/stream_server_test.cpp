// Where the host's socket lives and how a host takes it: the path from the environment, the
// private folder and file modes, one host per socket, and a left-over socket file.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "ce/host/stream_server.h"
#include "host_process.h"

namespace {

using ce::host::StreamServer;
using remote_test::TempDir;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(DevmgrSocketPath, EnvironmentChoosesInOrder) {
    {
        ScopedEnv socket("OTS_DEVMGR_SOCKET", "/somewhere/own.sock");
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/5");
        EXPECT_EQ(ce::host::DevmgrSocketPath(), "/somewhere/own.sock");
    }
    {
        ScopedEnv socket("OTS_DEVMGR_SOCKET", "");  // empty counts as unset
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/5");
        EXPECT_EQ(ce::host::DevmgrSocketPath(), "/run/user/5/ots/devmgr.sock");
    }
    {
        ScopedEnv socket("OTS_DEVMGR_SOCKET", nullptr);
        ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(ce::host::DevmgrSocketPath(),
                  "/tmp/ots-" + std::to_string(::getuid()) + "/devmgr.sock");
    }
}

TEST(StreamServerListen, MakesAPrivateFolderAndSocketAndRemovesTheSocketAtStop) {
    TempDir dir;
    const std::string folder = dir.File("run/ots");
    const std::string path = folder + "/devmgr.sock";
    {
        StreamServer server(path);
        std::string error;
        ASSERT_EQ(server.Listen(&error), StreamServer::ListenResult::Listening) << error;
        EXPECT_EQ(ModeOf(dir.File("run")), 0700u);
        EXPECT_EQ(ModeOf(folder), 0700u);
        EXPECT_EQ(ModeOf(path), 0600u);
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        server.Stop();
        EXPECT_FALSE(remote_test::FileExists(path));
        server.Stop();  // a second stop does nothing
    }
    EXPECT_FALSE(remote_test::FileExists(path));
}

TEST(StreamServerListen, ASecondServerFindsTheSocketInUse) {
    TempDir dir;
    const std::string path = dir.File("devmgr.sock");
    StreamServer first(path);
    ASSERT_EQ(first.Listen(nullptr), StreamServer::ListenResult::Listening);
    StreamServer second(path);
    std::string error;
    EXPECT_EQ(second.Listen(&error), StreamServer::ListenResult::InUse);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    second.Stop();
    EXPECT_TRUE(remote_test::FileExists(path)) << "the loser must leave the socket alone";

    first.Stop();
    StreamServer third(path);
    EXPECT_EQ(third.Listen(nullptr), StreamServer::ListenResult::Listening);
}

TEST(StreamServerListen, ReplacesASocketFileNobodyServes) {
    TempDir dir;
    const std::string path = dir.File("devmgr.sock");
    {
        // A host that died leaves its socket file behind.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(remote_test::FileExists(path));
    StreamServer server(path);
    std::string error;
    EXPECT_EQ(server.Listen(&error), StreamServer::ListenResult::Listening) << error;
}

TEST(StreamServerListen, RefusesAFolderOfAnotherUser) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to hand a folder to another user";
    }
    TempDir dir;
    const std::string folder = dir.File("foreign");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
    StreamServer server(folder + "/devmgr.sock");
    std::string error;
    EXPECT_EQ(server.Listen(&error), StreamServer::ListenResult::Failed);
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
}

TEST(StreamServerListen, FailsWithThePathWhenTheSocketCannotBeMade) {
    TempDir dir;
    remote_test::WriteFile(dir.File("file"), "not a folder");
    StreamServer server(dir.File("file") + "/devmgr.sock");
    std::string error;
    EXPECT_EQ(server.Listen(&error), StreamServer::ListenResult::Failed);
    EXPECT_NE(error.find(dir.File("file")), std::string::npos) << error;

    StreamServer tooLong(dir.File(std::string(120, 'x')));
    EXPECT_EQ(tooLong.Listen(&error), StreamServer::ListenResult::Failed);
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

}  // namespace
