// cehost and cectl as programs: the host's event record, exit codes and messages, and a real
// host driven by cectl through plugging, touching, the registry and a clean stop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <array>
#include <numeric>
#include <regex>
#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/host/registry_store.h"
#include "ce/input.h"
#include "ce/stream.h"
#include "event_log.h"
#include "protocol/control_codes.h"
#include "protocol/vendor_command.h"
#include "support/bus.h"
#include "support/host_process.h"
#include "support/records.h"

namespace {

using namespace ots::host;
using ots::test::HostProcess;
using ots::test::ProgramResult;
using ots::test::ReadFile;
using ots::test::TempDir;
using ots::test::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr DWORD kDown = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
constexpr DWORD kMove = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;

std::vector<std::uint64_t> Sequences(const std::vector<LoggedEvent>& events) {
    std::vector<std::uint64_t> sequences;
    for (const LoggedEvent& event : events) {
        sequences.push_back(event.sequence);
    }
    return sequences;
}

TEST(EventLog, NumbersInjectedEventsKeepsTheNewestAndWaits) {
    EventLog log(4);
    EXPECT_FALSE(log.WaitFor(1, std::chrono::milliseconds(1)));
    std::thread([] { mouse_event(kDown, 100, 200, 0, 0); }).join();
    EXPECT_TRUE(log.WaitFor(1, std::chrono::milliseconds(0)));
    const std::uint64_t localAllocs = ce::host::LocalAllocCount();
    for (DWORD i = 1; i < 10; ++i) {
        mouse_event(kMove, i, i, 0, 0);
    }
    EXPECT_EQ(ce::host::LocalAllocCount(), localAllocs);
    EXPECT_EQ(log.NextSequence(), 11u);
    using Seq = std::vector<std::uint64_t>;
    EXPECT_EQ(Sequences(log.Last(0)), (Seq{7, 8, 9, 10}));
    EXPECT_EQ(Sequences(log.Last(2)), (Seq{9, 10}));
    EXPECT_EQ(Sequences(log.Last(100)), (Seq{7, 8, 9, 10}));
    EXPECT_EQ(Sequences(log.Since(9)), (Seq{9, 10}));
    EXPECT_EQ(Sequences(log.Since(1)), (Seq{7, 8, 9, 10}));
    EXPECT_EQ(log.Last(1).front().event.dx, 9u);
    EXPECT_EQ((LoggedEvent{12, {kDown, 32768, 16384, 1.25}}).Json(),
              "{\"seq\":12,\"t_ms\":1.250,\"flags\":\"0x8002\",\"dx\":32768,\"dy\":16384,"
              "\"x_px\":400.0,\"y_px\":150.0}");
}

TEST(Programs, EndWithTheirExitCodesAndNameWhatIsAtFault) {
    TempDir dir;
    const std::string nobody = dir.File("nobody.sock");
    const std::string cectl = OTS_CECTL, cehost = OTS_CEHOST;
    WriteFile(dir.File("bad.txt"), "1 2\nthree four\n");
    WriteFile(dir.File("good.txt"), "1 2\n3 4\n");
    WriteFile(dir.File("file"), "");
    const std::vector<std::string> host = {cehost, "--socket", nobody, "--state"};
    const auto hostWith = [&](std::vector<std::string> more) {
        more.insert(more.begin(), host.begin(), host.end());
        return more;
    };
    struct Case {
        std::vector<std::string> argv;
        int exitCode;
        std::string message;  // part of stdout (exit 0) or stderr
    };
    const Case cases[] = {
        {{cectl, "--help"}, 0, "usage: cectl"},
        {{cectl, "draw", "--help"}, 0, "draw"},
        {{cectl}, 1, "no command"},
        {{cectl, "frobnicate"}, 1, "unknown command \"frobnicate\""},
        {{cectl, "draw", "path", dir.File("missing.txt")}, 1, dir.File("missing.txt")},
        {{cectl, "draw", "path", dir.File("bad.txt")}, 1, dir.File("bad.txt") + ":2:"},
        {{cectl, "--socket", nobody, "list"}, 2, nobody},
        {{cectl, "--socket", nobody, "draw", "path", dir.File("good.txt")}, 2, nobody},
        {{cehost, "--help"}, 0, "--time-scale"},
        {{cehost, "--bogus"}, 1, "cehost: "},
        {{cehost, "--state"}, 1, "cehost: "},
        {{cehost, "--sink", "x11"}, 1, "cehost: "},
        {{cehost, "--time-scale", "0"}, 1, "cehost: "},
        {hostWith({dir.File("file") + "/state"}), 4, dir.File("file")},
        {hostWith({dir.File("s1"), "--config", OTS_PLATFORM_REG, "--driver-dir", dir.File("none")}),
         5, dir.File("none") + "/libotsusb.so"},
        {hostWith({dir.File("s2"), "--config", dir.File("none.reg")}), 6, dir.File("none.reg")},
    };
    for (const Case& c : cases) {
        const ProgramResult result = ots::test::RunProgram(c.argv, dir);
        SCOPED_TRACE(testing::PrintToString(c.argv) + ": " + result.out + result.err);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_THAT(c.exitCode == 0 ? result.out : result.err, HasSubstr(c.message));
        EXPECT_TRUE(c.exitCode == 0 || result.out.empty());
    }
    EXPECT_EQ(::access(nobody.c_str(), F_OK), -1) << "a host that fails leaves no socket";
}

// A host with its trace sink, driven by cectl.
class HostSession : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(host_.WaitReady()) << host_.errText(); }
    std::string Ok(const std::vector<std::string>& args) {
        const ProgramResult result = host_.Cectl(args);
        EXPECT_EQ(result.exitCode, 0) << testing::PrintToString(args) << ": " << result.err;
        return result.out;
    }
    std::string Refused(const std::vector<std::string>& args) {
        const ProgramResult result = host_.Cectl(args);
        EXPECT_EQ(result.exitCode, 3) << testing::PrintToString(args);
        return result.err;
    }
    TempDir dir_;
    HostProcess host_{dir_, {"--sink", "trace"}};
};

// Where a touch command reported the left button down, and how far that was from the finger:
// "left down at X Y (D px from the finger)".
std::array<double, 3> LeftDownAt(const std::string& report) {
    std::smatch match;
    if (!std::regex_search(report, match,
                           std::regex("left down at ([0-9.]+) ([0-9.]+) \\(([0-9.]+) px"))) {
        ADD_FAILURE() << "no left down in: " << report;
        return {-1, -1, -1};
    }
    return {std::stod(match[1]), std::stod(match[2]), std::stod(match[3])};
}

TEST_F(HostSession, PlugTouchFollowListAndUnplugReachTheDriver) {
    EXPECT_THAT(Refused({"tap", "1", "1"}), HasSubstr("no controller is plugged"));
    EXPECT_EQ(Ok({"plug", "coordinate"}), "plugged 1 coordinate ideal OTS1: active\n");
    EXPECT_EQ(Ok({"plug", "coordinate", "--panel", "mounted", "--id", "5"}),
              "plugged 5 coordinate mounted OTS2: active\n");
    EXPECT_THAT(Refused({"plug", "camera", "--id", "5"}),
                HasSubstr("controller 5 is plugged already"));
    EXPECT_THAT(Refused({"plug", "camera", "--panel", "round"}), HasSubstr("\"round\""));
    EXPECT_THAT(Refused({"tap", "801", "10"}), HasSubstr("800 x 600"));
    Refused({"tap", "5", "5", "--id", "9"});
    Refused({"unplug", "4"});
    const std::string tap = Ok({"tap", "400", "300"});
    EXPECT_THAT(tap, HasSubstr("finger: down at 400.0 300.0, up at 400.0 300.0"));
    // Uncalibrated, an ideal panel's raw range maps onto the screen edge to edge.
    const auto [x, y, off] = LeftDownAt(tap);
    EXPECT_NEAR(x, 400.0, 2.0);
    EXPECT_NEAR(y, 300.0, 2.0);
    EXPECT_LT(off, 2.0);
    EXPECT_EQ(host_.Cectl({"tap", "800", "600"}).exitCode, 0) << "the far corner is on screen";
    const std::string drag = Ok({"drag", "100", "100", "700", "500", "--ms", "200"});
    EXPECT_NEAR(LeftDownAt(drag)[0], 100.0, 2.0);
    EXPECT_LT(LeftDownAt(drag)[2], 2.0);
    EXPECT_THAT(drag, HasSubstr("up at 700.0 500.0"));
    EXPECT_THAT(Ok({"draw", "circle", "400", "300", "100", "--ms", "300"}),
                HasSubstr("finger: down at 500.0 300.0, up at 500.0 300.0"));
    WriteFile(dir_.File("path.txt"), "# a corner\n100 100\n300 100\n300 300\n");
    EXPECT_THAT(Ok({"draw", "path", dir_.File("path.txt")}),
                HasSubstr("finger: down at 100.0 100.0, up at 300.0 300.0"));
    // A follower only sees events from when it started: tap until it has had its two.
    const std::string out = dir_.File("follow.out");
    const pid_t follower = ots::test::Spawn(
        {OTS_CECTL, "--socket", host_.socket(), "events", "--follow", "--count", "2"}, out, out);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(follower, &status, WNOHANG) == 0; ++i) {
        Ok({"tap", "600", "450"});
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string followed = ReadFile(out);
    EXPECT_EQ(std::count(followed.begin(), followed.end(), '\n'), 2) << followed;
    EXPECT_THAT(followed, HasSubstr("\"seq\":"));
    const std::string last = Ok({"events", "--count", "1"});
    EXPECT_THAT(last, HasSubstr("\"flags\":\"0x8004\"")) << "the lift";
    EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 1);
    EXPECT_THAT(ReadFile(host_.traceFile()), HasSubstr("\"flags\":\"0x8004\""));
    EXPECT_EQ(Ok({"unplug", "1"}), "unplugged 1 coordinate ideal OTS1: inactive\n");
    EXPECT_EQ(Ok({"list"}), "5 coordinate mounted OTS2: active\n");
}

TEST_F(HostSession, TheRegistryIsDumpedImportedAndSavedLoadableAtAStop) {
    Ok({"plug", "coordinate"});
    Ok({"plug", "coordinate"});
    const std::string dump = Ok({"reg", "dump"});
    EXPECT_THAT(dump, HasSubstr("[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\OtsUSB_Class"
                                "\\CalibParaY]"));
    EXPECT_THAT(dump, HasSubstr("\\Default\\Default\\255_255_255\\OtsUSB_Class]"));
    const std::string ports = Ok({"reg", "dump", "HKLM\\OtsUSB"});
    EXPECT_THAT(ports, HasSubstr("\"Port1\"=\"OTS1:\""));
    EXPECT_THAT(ports, HasSubstr("\"Port2\"=\"OTS2:\""));
    EXPECT_THAT(ports, Not(HasSubstr("DriverConfig")));
    WriteFile(dir_.File("extra.reg"),
              "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Test]\n\"Answer\"=dword:2a\n");
    EXPECT_THAT(Ok({"reg", "import", dir_.File("extra.reg")}), HasSubstr("imported"));
    EXPECT_THAT(Ok({"reg", "dump", "Test"}), HasSubstr("\"Answer\"=dword:0000002a"));
    WriteFile(dir_.File("bad.reg"), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"Broken\"=dword:zz\n");
    EXPECT_THAT(Refused({"reg", "import", dir_.File("bad.reg")}),
                HasSubstr(dir_.File("bad.reg") + ":3"));
    EXPECT_THAT(Ok({"reg", "dump", "X"}), Not(HasSubstr("Broken")));
    EXPECT_EQ(host_.Stop(SIGTERM), 0);
    EXPECT_EQ(::access(host_.socket().c_str(), F_OK), -1);
    const std::string saved = ReadFile(host_.registryFile());
    EXPECT_THAT(saved, Not(HasSubstr("\"Port"))) << "ports and active keys go with their devices";
    EXPECT_THAT(saved, Not(HasSubstr("Drivers\\Active\\")));
    EXPECT_THAT(saved, HasSubstr("\\DriverConfig]"));
    EXPECT_FALSE(ce::host::ImportRegFile(host_.registryFile()));
    ce::host::ResetRegistry();

    WriteFile(host_.registryFile(), "this is no registry\n");  // the next host sets it aside
    HostProcess next(dir_, {"--sink", "none"});
    ASSERT_TRUE(next.WaitReady()) << next.errText();
    EXPECT_THAT(next.errText(), HasSubstr("corrupt"));
    EXPECT_THAT(next.errText(), HasSubstr(host_.registryFile()));
    EXPECT_EQ(ReadFile(host_.registryFile() + ".corrupt"), "this is no registry\n");
    EXPECT_EQ(next.Cectl({"plug", "coordinate"}).exitCode, 0);
    TempDir other;  // a second host on the same socket leaves it and any state alone
    const ProgramResult second =
        ots::test::RunProgram({OTS_CEHOST, "--socket", next.socket(), "--state",
                               other.File("state"), "--config", OTS_PLATFORM_REG},
                              other);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_THAT(second.err, HasSubstr(next.socket()));
    EXPECT_EQ(::access(other.File("state").c_str(), F_OK), -1);
    EXPECT_EQ(next.Cectl({"list"}).exitCode, 0) << "the first host still serves";
    // A reply larger than one wire message (over 4 MiB) still reaches cectl whole, instead of
    // leaving it waiting for a reply the host could not send.
    for (const std::string key : {"A", "B"}) {  // about 2.6 MiB of values each
        std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Big\\" + key + "]\n";
        for (int i = 0; i < 2700; ++i) {
            text += "\"v" + std::to_string(i) + "\"=\"" + std::string(1000, key[0]) + "\"\n";
        }
        WriteFile(dir_.File(key + ".reg"), text);
        ASSERT_EQ(next.Cectl({"reg", "import", dir_.File(key + ".reg")}).exitCode, 0);
    }
    const std::string big = next.Cectl({"reg", "dump", "Big"}).out;
    EXPECT_GT(big.size(), std::size_t{4} << 20);
    EXPECT_THAT(big, HasSubstr("\"v2699\"=\"" + std::string(1000, 'B') + "\"\n"));
}

// A camera controller keeps the records it stored when it is plugged again under its id.
TEST_F(HostSession, ACameraKeepsItsMemoryAcrossUnplugAndReplug) {
    Ok({"plug", "camera", "--id", "2"});
    ::setenv("OTS_DEVMGR_SOCKET", host_.socket().c_str(), 1);
    ots::test::Bytes config(58, 0);
    config[10] = 1;  // IsCalibrated: the driver leaves a calibrated configuration alone
    std::iota(config.begin() + 27, config.end(), 27);
    const auto exchange = [](std::uint8_t cls, std::uint8_t code, const ots::test::Bytes& data,
                             DWORD ioctl) {
        ots::test::Bytes command = ots::test::Framed(cls, code, 1, data), reply(64, 0);
        EXPECT_TRUE(ots::test::StreamHandle().Io(ioctl, &command, &reply));
        return ots::test::Bytes(reply.begin() + 5, reply.begin() + 63);
    };
    exchange(ots::kClassControl, ots::kCodeStoreDeviceConfig, config, IOCTL_SET_COMMAND);
    Ok({"unplug", "2"});
    Ok({"plug", "camera", "--id", "2"});
    EXPECT_EQ(exchange(ots::kClassReadBlock, ots::kCodePanelBlock, {}, IOCTL_GET_COMMAND), config);
    Ok({"unplug", "2"});
    Ok({"plug", "camera", "--id", "3"});
    EXPECT_NE(exchange(ots::kClassReadBlock, ots::kCodePanelBlock, {}, IOCTL_GET_COMMAND), config)
        << "another id is another controller, with factory contents";
}

}  // namespace
