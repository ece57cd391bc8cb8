// cehost's start-up failures: each has its message and its exit code, and none leaves a
// socket behind; a corrupt registry is set aside and the host starts anyway.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "remote/host_process.h"

namespace {

using remote_test::FileExists;
using remote_test::HostProcess;
using remote_test::TempDir;
using ::testing::HasSubstr;

TEST(CehostProgram, HelpAndUsage) {
    TempDir dir;
    const auto help = remote_test::RunProgram({OTS_CEHOST, "--help"}, dir);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("--time-scale"));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--state"},
                                               {"--sink", "x11"},
                                               {"--time-scale", "0"},
                                               {"--time-scale", "fast"}}) {
        std::vector<std::string> argv = {OTS_CEHOST};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto usage = remote_test::RunProgram(argv, dir);
        EXPECT_EQ(usage.exitCode, 1) << args[0];
        EXPECT_THAT(usage.err, HasSubstr("cehost: ")) << args[0];
    }
}

TEST(CehostProgram, ASecondHostOnTheSameSocketEndsWithThree) {
    TempDir dir;
    HostProcess first(dir, {"--sink", "none"});
    ASSERT_TRUE(first.WaitReady()) << first.errText();
    TempDir other;
    const auto second = remote_test::RunProgram(
        {OTS_CEHOST, "--socket", first.socket(), "--state", other.File("state"), "--config",
         OTS_PLATFORM_REG, "--sink", "none"},
        other);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_THAT(second.err, HasSubstr(first.socket()));
    EXPECT_FALSE(FileExists(other.File("state"))) << "the loser must not touch any state";
    EXPECT_EQ(first.Cectl({"list"}).exitCode, 0) << "the first host still serves";
}

TEST(CehostProgram, AStateFolderThatCannotBeWrittenEndsWithFour) {
    TempDir dir;
    remote_test::WriteFile(dir.File("file"), "");
    HostProcess host(dir, {"--state", dir.File("file") + "/state"});
    EXPECT_EQ(host.WaitExit(), 4);
    EXPECT_THAT(host.errText(), HasSubstr(dir.File("file")));
    EXPECT_FALSE(FileExists(host.socket()));
}

TEST(CehostProgram, ADriverLibraryThatCannotBeLoadedEndsWithFive) {
    TempDir dir;
    HostProcess host(dir, {"--driver-dir", dir.File("no-drivers-here")});
    EXPECT_EQ(host.WaitExit(), 5);
    EXPECT_THAT(host.errText(), HasSubstr(dir.File("no-drivers-here") + "/libotsusb.so"));
    EXPECT_FALSE(FileExists(host.socket()));
}

TEST(CehostProgram, AMissingConfigurationEndsWithSix) {
    TempDir dir;
    HostProcess host(dir, {"--config", dir.File("none.reg")});
    EXPECT_EQ(host.WaitExit(), 6);
    EXPECT_THAT(host.errText(), HasSubstr(dir.File("none.reg")));
}

TEST(CehostProgram, ACorruptRegistryIsSetAsideAndTheHostGoesOn) {
    TempDir dir;
    HostProcess first(dir, {"--sink", "none"});  // makes the state folder
    ASSERT_TRUE(first.WaitReady());
    ASSERT_EQ(first.Stop(SIGTERM), 0);
    remote_test::WriteFile(first.registryFile(), "this is no registry\n");

    HostProcess host(dir, {"--sink", "none"});
    ASSERT_TRUE(host.WaitReady()) << host.errText();
    EXPECT_THAT(host.errText(), HasSubstr("corrupt"));
    EXPECT_THAT(host.errText(), HasSubstr(host.registryFile()));
    EXPECT_EQ(remote_test::ReadFile(host.registryFile() + ".corrupt"), "this is no registry\n");
    const auto plug = host.Cectl({"plug", "coordinate"});
    EXPECT_EQ(plug.exitCode, 0) << plug.err;
}

}  // namespace
