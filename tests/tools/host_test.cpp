// cehost and cectl as programs: the host's event record, exit codes and messages, and a real
// host driven by cectl through plugging, touching, the registry and a clean stop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <map>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/input.h"
#include "ce/stream.h"
#include "event_log.h"
#include "protocol/control_codes.h"
#include "protocol/vendor_command.h"
#include "support/bus.h"
#include "support/golden.h"
#include "support/host_process.h"
#include "support/records.h"

namespace {

using namespace ots::host;
using ots::test::ExpectGolden;
using ots::test::HostProcess;
using ots::test::ProgramResult;
using ots::test::ReadFile;
using ots::test::TempDir;
using ots::test::WriteFile;
using ::testing::HasSubstr;

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

// The command lines of a script, ';' between them and words split at spaces: "''" is an empty
// word, $DIR/ the test's folder, platform.reg the platform configuration, cectl and cehost the
// programs.
std::vector<std::vector<std::string>> CommandLines(const std::string& script, const TempDir& dir) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(script);
    for (std::string line, word; std::getline(in, line, ';');) {
        std::vector<std::string>& words = lines.emplace_back();
        for (std::istringstream split(line); split >> word;) {
            const std::map<std::string, std::string> named = {{"''", ""},
                                                              {"cectl", OTS_CECTL},
                                                              {"cehost", OTS_CEHOST},
                                                              {"platform.reg", OTS_PLATFORM_REG}};
            const auto found = named.find(word);
            words.push_back(found != named.end()        ? found->second
                            : word.starts_with("$DIR/") ? dir.File(word.substr(5))
                                                        : word);
        }
    }
    return lines;
}

// What a run shows its user, as one text: the command line, stdout, stderr and the exit code.
// The test's folder reads $DIR, the platform configuration platform.reg; times, sequence numbers
// and event counts, which follow the machine's load, read #.
std::string Shown(const std::vector<std::string>& argv, const ProgramResult& result,
                  const TempDir& dir) {
    std::string text = "$";
    for (const std::string& arg : argv) {
        text += " " + (&arg == &argv.front() ? arg.substr(arg.rfind('/') + 1)
                       : arg.empty()         ? "''"
                                             : arg);
    }
    text += "\n" + result.out + (result.err.empty() ? "" : "(stderr)\n" + result.err);
    text += "[exit " + std::to_string(result.exitCode) + "]\n";
    const std::pair<std::string, std::string> places[] = {{dir.File(""), "$DIR/"},
                                                          {OTS_PLATFORM_REG, "platform.reg"}};
    for (const auto& [path, shown] : places) {
        for (std::size_t at; (at = text.find(path)) != std::string::npos;) {
            text.replace(at, path.size(), shown);
        }
    }
    static const std::regex varying("(t_ms\"?:? ?|\"seq\":|injected: )[0-9.]+");
    return std::regex_replace(text, varying, "$1#");
}

// Help, usage errors (each names what is wrong), files that cannot be used, no host, and a host
// that cannot start. Refreshed with OTS_REGOLDEN=1 (ctest -R Programs); its diff is reviewed
// before a commit.
TEST(Programs, EndWithTheirExitCodesAndNameWhatIsAtFault) {
    TempDir dir;
    WriteFile(dir.File("bad.txt"), "1 2\nthree four\n");
    WriteFile(dir.File("good.txt"), "1 2\n3 4\n");
    WriteFile(dir.File("file"), "");
    std::string text;
    for (const std::vector<std::string>& argv : CommandLines(
             "cectl --help;cectl plug --help;cectl unplug --help;cectl list --help;cectl tap "
             "--help;"
             "cectl touch --help;cectl hold --help;cectl drag --help;cectl draw --help;"
             "cectl reg --help;cectl events --help;cectl tap --bogus -h;cectl;cectl "
             "frobnicate;cectl tap 1 2 --panel x;"
             "cectl plug mouse;cectl plug replay;cectl plug camera $DIR/good.txt;"
             "cectl plug replay $DIR/good.txt --panel x;cectl tap 1;cectl list extra;cectl touch "
             "10 20;"
             "cectl tap 1 2 --ms 600001;cectl tap 1 2 --ms;cectl events --count 0;cectl --socket;"
             "cectl --socket /run/x.sock;cectl list --socket /run/x.sock;cectl reg;"
             "cectl reg import;cectl draw;cectl draw square 1;cectl draw circle 1 2 0;"
             "cectl draw circle 1 2;cectl draw line 1 2 3;cectl draw path;"
             "cectl unplug 0;cectl unplug 100;cectl unplug -1;cectl unplug x;cectl unplug 1.5;"
             "cectl unplug '';cectl plug camera --id 0;cectl plug camera --id 100;"
             "cectl plug camera --id -1;cectl plug camera --id x;cectl plug camera --id 1.5;"
             "cectl plug camera --id '';cectl tap x 1;cectl tap 1e999 1;cectl tap nan 1;"
             "cectl tap inf 1;cectl tap '' 1;cectl tap 1,5 1;cectl tap 0x10 1;"
             "cectl draw path $DIR/missing.txt;cectl draw path $DIR/bad.txt;"
             "cectl --socket $DIR/nobody.sock list;"
             "cectl --socket $DIR/nobody.sock draw path $DIR/good.txt;"
             "cehost --help;cehost --bogus;cehost --state;cehost --time-scale=0;"
             "cehost --sink x11 --display :9999;"  // no such display
             "cehost --socket $DIR/nobody.sock --state $DIR/file/state;"
             "cehost --socket $DIR/nobody.sock --state $DIR/s1 --config platform.reg "
             "--driver-dir $DIR/none;"
             "cehost --socket $DIR/nobody.sock --state $DIR/s2 --config $DIR/none.reg",
             dir)) {
        text += Shown(argv, ots::test::RunProgram(argv, dir), dir);
    }
    ExpectGolden(text, OTS_GOLDEN_DIR "programs.txt");
    EXPECT_EQ(::access(dir.File("nobody.sock").c_str(), F_OK), -1) << "a failed host leaves none";
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
    // Each command line of the script run in turn, shown as a user sees it.
    std::string Session(const std::string& script) {
        std::string text;
        for (std::vector<std::string> args : CommandLines(script, dir_)) {
            const ProgramResult result = host_.Cectl(args);
            args.insert(args.begin(), "cectl");
            text += Shown(args, result, dir_);
        }
        return text;
    }
    TempDir dir_;
    HostProcess host_{dir_, {"--sink", "trace"}};
};

// Plugging, refusals, touches on an uncalibrated ideal panel (its raw range maps onto the
// screen edge to edge, so each left down lies on the finger) and unplugging.
TEST_F(HostSession, PlugTouchFollowListAndUnplugReachTheDriver) {
    WriteFile(dir_.File("path.txt"), "# a corner\n100 100\n300 100\n300 300\n");
    ExpectGolden(Session("tap 1 1;plug coordinate;plug coordinate --panel mounted --id 5;"
                         "plug camera --id 5;plug camera --panel round;plug replay $DIR/path.txt;"
                         "tap 801 10;"
                         "tap 5 5 --id 9;unplug 4;tap 400 300;tap 800 600;"
                         "drag 100 100 700 500 --ms 200;draw circle 400 300 100 --ms 300;"
                         "draw path $DIR/path.txt;events --count 1;unplug 1;list"),
                 OTS_GOLDEN_DIR "session.txt");
    EXPECT_THAT(ReadFile(host_.traceFile()), HasSubstr("\"flags\":\"0x8004\"")) << "the lift";
    // A follower only sees events from when it started: tap until it has had its two.
    const std::string out = dir_.File("follow.out");
    const pid_t follower = ots::test::Spawn(
        {OTS_CECTL, "--socket", host_.socket(), "events", "--follow", "--count", "2"}, out, out);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(follower, &status, WNOHANG) == 0; ++i) {
        Ok({"tap", "600", "450", "--id", "5"});
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string followed = ReadFile(out);
    EXPECT_EQ(std::count(followed.begin(), followed.end(), '\n'), 2) << followed;
    EXPECT_THAT(followed, HasSubstr("\"seq\":"));
}

TEST_F(HostSession, TheRegistryIsDumpedImportedAndSavedLoadableAtAStop) {
    WriteFile(dir_.File("extra.reg"),
              "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Test]\n\"Answer\"=dword:2a\n");
    WriteFile(dir_.File("bad.reg"), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"Broken\"=dword:zz\n");
    ExpectGolden(Session("plug coordinate;plug coordinate;reg dump;reg dump HKLM\\OtsUSB;"
                         "reg import $DIR/extra.reg;reg dump Test;reg import $DIR/bad.reg;"
                         "reg dump X"),
                 OTS_GOLDEN_DIR "registry.txt");
    EXPECT_EQ(host_.Stop(SIGTERM), 0);
    EXPECT_EQ(::access(host_.socket().c_str(), F_OK), -1);
    // Ports and active keys go with their devices; the rest is kept.
    ExpectGolden(ReadFile(host_.registryFile()), OTS_GOLDEN_DIR "saved.reg");
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
