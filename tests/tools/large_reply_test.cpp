// A reply larger than one wire message (a registry dump over 4 MiB) still reaches cectl whole,
// instead of leaving it waiting for a reply the host could not send.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/host_process.h"

namespace {

using ots::test::HostProcess;
using ots::test::TempDir;

// About 2.6 MiB of values under HKEY_LOCAL_MACHINE\Big\<key>.
std::string BigRegFile(const std::string& key) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Big\\" + key + "]\n";
    const std::string data(1000, key[0]);
    for (int i = 0; i < 2700; ++i) {
        text += "\"v" + std::to_string(i) + "\"=\"" + data + "\"\n";
    }
    return text;
}

TEST(LargeReply, ARegistryDumpOverTheMessageLimitArrivesWhole) {
    TempDir dir;
    HostProcess host(dir, {"--sink", "none"});
    ASSERT_TRUE(host.WaitReady()) << host.errText();
    for (const std::string key : {"A", "B"}) {
        ots::test::WriteFile(dir.File(key + ".reg"), BigRegFile(key));
        ASSERT_EQ(host.Cectl({"reg", "import", dir.File(key + ".reg")}).exitCode, 0);
    }
    const auto dump = host.Cectl({"reg", "dump", "Big"});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_GT(dump.out.size(), std::size_t{4} << 20);
    EXPECT_THAT(dump.out, ::testing::HasSubstr("\"v2699\"=\"" + std::string(1000, 'B') + "\"\n"));
}

}  // namespace
