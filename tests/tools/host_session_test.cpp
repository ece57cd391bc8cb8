// A real cehost driven by cectl: controllers plugged, listed, touched and unplugged; the
// registry dumped and imported; the injected events followed; and a clean stop that leaves a
// registry file the next host can load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <thread>

#include "ce/host/registry_store.h"
#include "ce/registry.h"
#include "ce/stream.h"
#include "protocol/control_codes.h"
#include "protocol/vendor_command.h"
#include "remote/host_process.h"

namespace {

using remote_test::HostProcess;
using remote_test::ProgramResult;
using remote_test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

class HostSession : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(host_.WaitReady()) << host_.errText(); }

    ProgramResult Ok(const std::vector<std::string>& args) {
        ProgramResult result = host_.Cectl(args);
        EXPECT_EQ(result.exitCode, 0) << testing::PrintToString(args) << ": " << result.err;
        return result;
    }

    TempDir dir_;
    HostProcess host_{dir_, {"--sink", "trace"}};
};

// The "left down at X Y" position a touch command reported.
std::pair<double, double> LeftDownAt(const std::string& report) {
    std::smatch match;
    const std::regex pattern("left down at ([0-9.]+) ([0-9.]+)");
    if (!std::regex_search(report, match, pattern)) {
        ADD_FAILURE() << "no left down in: " << report;
        return {-1, -1};
    }
    return {std::stod(match[1]), std::stod(match[2])};
}

TEST_F(HostSession, PlugListTapUnplug) {
    EXPECT_EQ(Ok({"list"}).out, "");
    EXPECT_EQ(Ok({"plug", "coordinate"}).out, "plugged 1 coordinate ideal OTS1: active\n");
    EXPECT_EQ(Ok({"plug", "coordinate", "--panel", "mounted", "--id", "5"}).out,
              "plugged 5 coordinate mounted OTS2: active\n");
    EXPECT_EQ(Ok({"list"}).out,
              "1 coordinate ideal OTS1: active\n5 coordinate mounted OTS2: active\n");

    const ProgramResult tap = Ok({"tap", "400", "300"});
    EXPECT_THAT(tap.out, HasSubstr("finger: down at 400.0 300.0, up at 400.0 300.0"));
    // Uncalibrated, an ideal panel's raw range maps onto the screen edge to edge.
    const auto [x, y] = LeftDownAt(tap.out);
    EXPECT_NEAR(x, 400.0, 2.0);
    EXPECT_NEAR(y, 300.0, 2.0);
    EXPECT_THAT(tap.out, HasSubstr("left up at"));
    // The trace sink got the events too: the lift at least.
    EXPECT_THAT(remote_test::ReadFile(host_.traceFile()), HasSubstr("\"flags\":\"0x8004\""));

    EXPECT_EQ(Ok({"unplug", "1"}).out, "unplugged 1 coordinate ideal OTS1: inactive\n");
    EXPECT_EQ(Ok({"list"}).out, "5 coordinate mounted OTS2: active\n");
}

TEST_F(HostSession, RefusalsEndWithThreeAndSayWhy) {
    const ProgramResult none = host_.Cectl({"tap", "1", "1"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_THAT(none.err, HasSubstr("no controller is plugged"));
    EXPECT_EQ(host_.Cectl({"unplug", "4"}).exitCode, 3);

    Ok({"plug", "coordinate", "--id", "4"});
    const ProgramResult twice = host_.Cectl({"plug", "camera", "--id", "4"});
    EXPECT_EQ(twice.exitCode, 3);
    EXPECT_THAT(twice.err, HasSubstr("controller 4 is plugged already"));
    const ProgramResult panel = host_.Cectl({"plug", "camera", "--panel", "round"});
    EXPECT_EQ(panel.exitCode, 3);
    EXPECT_THAT(panel.err, HasSubstr("\"round\""));
    const ProgramResult offScreen = host_.Cectl({"tap", "801", "10"});
    EXPECT_EQ(offScreen.exitCode, 3);
    EXPECT_THAT(offScreen.err, HasSubstr("800 x 600"));
    EXPECT_EQ(host_.Cectl({"tap", "800", "600"}).exitCode, 0) << "the far corner is on screen";
    EXPECT_EQ(host_.Cectl({"tap", "5", "5", "--id", "9"}).exitCode, 3);
}

TEST_F(HostSession, DragAndDrawReachTheDriver) {
    Ok({"plug", "coordinate"});
    const ProgramResult drag = Ok({"drag", "100", "100", "700", "500", "--ms", "200"});
    EXPECT_THAT(drag.out, HasSubstr("finger: down at 100.0 100.0, up at 700.0 500.0"));
    const auto [x, y] = LeftDownAt(drag.out);
    EXPECT_NEAR(x, 100.0, 2.0);
    EXPECT_NEAR(y, 100.0, 2.0);

    EXPECT_THAT(Ok({"draw", "circle", "400", "300", "100", "--ms", "300"}).out,
                HasSubstr("finger: down at 500.0 300.0, up at 500.0 300.0"));
    remote_test::WriteFile(dir_.File("path.txt"), "# a corner\n100 100\n300 100\n300 300\n");
    EXPECT_THAT(Ok({"draw", "path", dir_.File("path.txt")}).out,
                HasSubstr("finger: down at 100.0 100.0, up at 300.0 300.0"));
}

TEST_F(HostSession, EventsShowWhatWasInjected) {
    Ok({"plug", "coordinate"});
    Ok({"tap", "200", "150"});
    const ProgramResult last = Ok({"events", "--count", "1"});
    EXPECT_THAT(last.out, HasSubstr("\"flags\":\"0x8004\""));  // the lift
    EXPECT_EQ(std::count(last.out.begin(), last.out.end(), '\n'), 1);
    const std::string all = Ok({"events"}).out;
    EXPECT_GE(std::count(all.begin(), all.end(), '\n'), 2);
    EXPECT_THAT(all, HasSubstr("\"x_px\":"));
}

TEST_F(HostSession, FollowStreamsNewEventsUntilTheCount) {
    Ok({"plug", "coordinate"});
    const std::string out = dir_.File("follow.out");
    const pid_t follower = remote_test::Spawn(
        {OTS_CECTL, "--socket", host_.socket(), "events", "--follow", "--count", "2"}, out, "");
    ASSERT_GT(follower, 0);
    // The follower only sees events from when it started: tap until it has had its two.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 100 && (ended = ::waitpid(follower, &status, WNOHANG)) == 0; ++i) {
        Ok({"tap", "600", "450"});
    }
    const int exitCode = ended == follower ? (WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                                           : remote_test::WaitExit(follower);
    EXPECT_EQ(exitCode, 0);
    const std::string lines = remote_test::ReadFile(out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_THAT(lines, HasSubstr("\"seq\":"));
}

TEST_F(HostSession, RegistryDumpShowsTheDriversKeys) {
    Ok({"plug", "coordinate"});
    const std::string dump = Ok({"reg", "dump"}).out;
    EXPECT_THAT(dump, HasSubstr("Windows Registry Editor Version 5.00"));
    // Reading its settings at attach creates the driver's keys.
    for (const char* key :
         {"DriverConfig", "ScreenConfig", "DeviceConfig", "CalibParaX", "CalibParaY"}) {
        EXPECT_THAT(dump, HasSubstr(std::string("[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers"
                                                "\\OtsUSB_Class\\") +
                                    key + "]"));
    }
    EXPECT_THAT(dump, HasSubstr("\\Default\\Default\\255_255_255\\OtsUSB_Class]"));
    EXPECT_THAT(dump, HasSubstr("[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]"));
    EXPECT_THAT(dump, HasSubstr("\"Port1\"=\"OTS1:\""));

    const std::string ports = Ok({"reg", "dump", "HKEY_LOCAL_MACHINE\\OtsUSB"}).out;
    EXPECT_THAT(ports, HasSubstr("\"Port1\"=\"OTS1:\""));
    EXPECT_THAT(ports, Not(HasSubstr("DriverConfig")));
    EXPECT_EQ(Ok({"reg", "dump", "HKLM\\OtsUSB"}).out, ports);
}

TEST_F(HostSession, RegistryImportMergesOrNamesTheFaultyLine) {
    remote_test::WriteFile(dir_.File("extra.reg"),
                           "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_LOCAL_MACHINE\\Test\\Extra]\n\"Answer\"=dword:0000002a\n");
    EXPECT_THAT(Ok({"reg", "import", dir_.File("extra.reg")}).out, HasSubstr("imported"));
    EXPECT_THAT(Ok({"reg", "dump", "Test"}).out, HasSubstr("\"Answer\"=dword:0000002a"));

    remote_test::WriteFile(dir_.File("bad.reg"),
                           "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\n"
                           "\"Broken\"=dword:zz\n");
    const ProgramResult bad = host_.Cectl({"reg", "import", dir_.File("bad.reg")});
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_THAT(bad.err, HasSubstr(dir_.File("bad.reg") + ":4"));
    EXPECT_THAT(Ok({"reg", "dump", "X"}).out, Not(HasSubstr("Broken")));
}

TEST_F(HostSession, SigtermLeavesALoadableRegistryWithoutPortsOrActiveKeys) {
    Ok({"plug", "coordinate"});
    Ok({"plug", "coordinate"});
    ASSERT_THAT(remote_test::ReadFile(host_.registryFile()), HasSubstr("\"Port2\"=\"OTS2:\""));

    EXPECT_EQ(host_.Stop(SIGTERM), 0);
    EXPECT_FALSE(remote_test::FileExists(host_.socket()));
    const std::string saved = remote_test::ReadFile(host_.registryFile());
    EXPECT_THAT(saved, Not(HasSubstr("\"Port")));
    EXPECT_THAT(saved, Not(HasSubstr("Drivers\\Active\\")));
    EXPECT_THAT(saved, HasSubstr("\\DriverConfig]"));

    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(host_.registryFile());
    EXPECT_FALSE(error) << error->ToString();
    HKEY ports = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"OtsUSB\\Ports", 0, KEY_READ, &ports),
              ERROR_SUCCESS);
    wchar_t name[32];
    DWORD length = 32;
    EXPECT_EQ(RegEnumValueW(ports, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(ports);
    ce::host::ResetRegistry();

    // The next host starts on that file.
    HostProcess next(dir_, {"--sink", "none"});
    ASSERT_TRUE(next.WaitReady()) << next.errText();
    EXPECT_THAT(next.errText(), Not(HasSubstr("corrupt")));
}

// A camera controller keeps the records it stored when it is plugged again under its id.
TEST_F(HostSession, ACameraKeepsItsMemoryAcrossUnplugAndReplug) {
    Ok({"plug", "camera", "--id", "2"});
    ::setenv("OTS_DEVMGR_SOCKET", host_.socket().c_str(), 1);

    std::vector<std::uint8_t> config(58, 0);
    config[10] = 1;  // IsCalibrated: the driver leaves a calibrated configuration alone
    for (std::size_t i = 27; i < config.size(); ++i) {
        config[i] = static_cast<std::uint8_t>(i);
    }
    auto exchange = [](std::uint8_t cls, std::uint8_t code, const std::vector<std::uint8_t>& data,
                       DWORD ioctl) {
        std::uint8_t command[64] = {};
        const std::size_t length = ots::BuildVendorCommand(
            cls, code, 1, data.empty() ? nullptr : data.data(), data.size(), command);
        std::vector<std::uint8_t> reply(64, 0);
        const HANDLE device = CreateFileW(L"OTS1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_TRUE(DeviceIoControl(device, ioctl, command, static_cast<DWORD>(length),
                                    reply.data(), 64, nullptr, nullptr));
        CloseHandle(device);
        return std::vector<std::uint8_t>(reply.begin() + 5, reply.begin() + 63);
    };
    exchange(ots::kClassControl, ots::kCodeStoreDeviceConfig, config, IOCTL_SET_COMMAND);

    Ok({"unplug", "2"});
    Ok({"plug", "camera", "--id", "2"});
    EXPECT_EQ(exchange(ots::kClassReadBlock, ots::kCodePanelBlock, {}, IOCTL_GET_COMMAND), config);

    // Another id is another controller, with factory contents.
    Ok({"unplug", "2"});
    Ok({"plug", "camera", "--id", "3"});
    EXPECT_NE(exchange(ots::kClassReadBlock, ots::kCodePanelBlock, {}, IOCTL_GET_COMMAND), config);
}

}  // namespace
