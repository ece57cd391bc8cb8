// cectl as a program: exit codes and messages, with and without a host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "remote/host_process.h"

namespace {

using remote_test::ProgramResult;
using remote_test::TempDir;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class CectlProgram : public ::testing::Test {
  protected:
    ProgramResult Cectl(const std::vector<std::string>& args) {
        return remote_test::RunCectl(dir_.File("nobody.sock"), args, dir_);
    }
    TempDir dir_;
};

TEST_F(CectlProgram, HelpEndsWithZero) {
    const ProgramResult help = remote_test::RunProgram({OTS_CECTL, "--help"}, dir_);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: cectl"));
    EXPECT_THAT(help.err, IsEmpty());
    for (const char* verb : {"plug", "tap", "draw", "reg", "events"}) {
        const ProgramResult verbHelp = Cectl({verb, "--help"});
        EXPECT_EQ(verbHelp.exitCode, 0) << verb;
        EXPECT_THAT(verbHelp.out, HasSubstr(verb)) << verb;
    }
}

TEST_F(CectlProgram, UsageErrorsEndWithOneAndSayWhy) {
    EXPECT_EQ(remote_test::RunProgram({OTS_CECTL}, dir_).exitCode, 1);
    const ProgramResult unknown = Cectl({"frobnicate"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_THAT(unknown.err, HasSubstr("unknown command \"frobnicate\""));
    EXPECT_EQ(Cectl({"tap", "1"}).exitCode, 1);
    EXPECT_EQ(Cectl({"unplug", "0"}).exitCode, 1);
}

TEST_F(CectlProgram, FilesThatCannotBeReadAreUsageErrors) {
    const ProgramResult missing = Cectl({"draw", "path", dir_.File("missing.txt")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr(dir_.File("missing.txt")));

    remote_test::WriteFile(dir_.File("bad.txt"), "1 2\nthree four\n");
    const ProgramResult bad = Cectl({"draw", "path", dir_.File("bad.txt")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(bad.err, HasSubstr(dir_.File("bad.txt") + ":2:"));
}

TEST_F(CectlProgram, NoHostEndsWithTwoAndNamesTheSocket) {
    const ProgramResult list = Cectl({"list"});
    EXPECT_EQ(list.exitCode, 2);
    EXPECT_THAT(list.err, HasSubstr(dir_.File("nobody.sock")));
    // A good file is read before the host is looked for: no host is still 2.
    remote_test::WriteFile(dir_.File("good.txt"), "1 2\n3 4\n");
    EXPECT_EQ(Cectl({"draw", "path", dir_.File("good.txt")}).exitCode, 2);
}

}  // namespace
