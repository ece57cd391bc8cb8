// cectl's command line: what each command turns into, its defaults, and the usage errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cectl/command_line.h"
#include "cectl/stroke.h"

namespace {

using namespace ots::control;
using Outcome = CommandLine::Outcome;
using ::testing::HasSubstr;

CommandLine Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

Command Runnable(std::vector<std::string> args) {
    const CommandLine line = Parse(std::move(args));
    EXPECT_EQ(line.outcome, Outcome::Run) << line.message;
    return line.command;
}

TEST(CectlCommandLine, PlugTakesAKindAPanelAndAnId) {
    Command plug = Runnable({"plug", "camera", "--panel", "defaults", "--id", "7"});
    EXPECT_EQ(plug.verb, Verb::Plug);
    EXPECT_EQ(plug.kind, ControllerKind::Camera);
    EXPECT_EQ(plug.panel, "defaults");
    EXPECT_EQ(plug.id, 7u);

    plug = Runnable({"plug", "coordinate"});
    EXPECT_EQ(plug.kind, ControllerKind::Coordinate);
    EXPECT_EQ(plug.panel, "");
    EXPECT_EQ(plug.id, 0u);
}

TEST(CectlCommandLine, ControllerIdsRunFromOneTo99) {
    EXPECT_EQ(Runnable({"unplug", "1"}).id, 1u);
    EXPECT_EQ(Runnable({"unplug", "99"}).id, 99u);
    for (const char* bad : {"0", "100", "-1", "x", "1.5", ""}) {
        EXPECT_EQ(Parse({"unplug", bad}).outcome, Outcome::Usage) << bad;
        EXPECT_EQ(Parse({"plug", "camera", "--id", bad}).outcome, Outcome::Usage) << bad;
    }
}

TEST(CectlCommandLine, TouchCommandsCarryPointsAndDurations) {
    Command tap = Runnable({"tap", "400", "300.5"});
    EXPECT_EQ(tap.verb, Verb::Tap);
    EXPECT_EQ(tap.points, (std::vector<Point>{{400, 300.5}}));
    EXPECT_EQ(tap.durationMs, kDefaultTapHoldMs);
    EXPECT_EQ(Runnable({"tap", "1", "2", "--ms", "0"}).durationMs, 0u);

    Command hold = Runnable({"hold", "10", "20", "--ms", "800", "--id", "2"});
    EXPECT_EQ(hold.verb, Verb::Touch);
    EXPECT_EQ(hold.durationMs, 800u);
    EXPECT_EQ(hold.id, 2u);
    EXPECT_EQ(Parse({"touch", "10", "20"}).outcome, Outcome::Usage) << "--ms is required";

    Command drag = Runnable({"drag", "1", "2", "3", "4"});
    EXPECT_EQ(drag.points, (std::vector<Point>{{1, 2}, {3, 4}}));
    EXPECT_EQ(drag.durationMs, kDefaultDragMs);
}

TEST(CectlCommandLine, DurationsAreBounded) {
    EXPECT_EQ(Runnable({"tap", "1", "2", "--ms", "600000"}).durationMs, 600000u);
    EXPECT_EQ(Parse({"tap", "1", "2", "--ms", "600001"}).outcome, Outcome::Usage);
    EXPECT_EQ(Parse({"tap", "1", "2", "--ms"}).outcome, Outcome::Usage);
}

TEST(CectlCommandLine, DrawMakesOneStroke) {
    Command line = Runnable({"draw", "line", "0", "0", "100", "50", "--ms", "200"});
    EXPECT_EQ(line.verb, Verb::Draw);
    EXPECT_EQ(line.points, (std::vector<Point>{{0, 0}, {100, 50}}));
    EXPECT_EQ(line.durationMs, 200u);

    Command circle = Runnable({"draw", "circle", "400", "300", "100"});
    EXPECT_EQ(circle.points.size(), kCircleSegments + 1);
    EXPECT_EQ(circle.durationMs, kDefaultDrawMs);

    const CommandLine path = Parse({"draw", "path", "points.txt"});
    EXPECT_EQ(path.outcome, Outcome::Run);
    EXPECT_EQ(path.fileToRead, "points.txt");
    for (auto bad : std::vector<std::vector<std::string>>{{"draw"},
                                                          {"draw", "square", "1"},
                                                          {"draw", "circle", "1", "2", "0"},
                                                          {"draw", "circle", "1", "2"},
                                                          {"draw", "line", "1", "2", "3"},
                                                          {"draw", "path"}}) {
        EXPECT_EQ(Parse(bad).outcome, Outcome::Usage) << testing::PrintToString(bad);
    }
}

TEST(CectlCommandLine, RegistryAndEventCommands) {
    Command dump = Runnable({"reg", "dump"});
    EXPECT_EQ(dump.verb, Verb::RegDump);
    EXPECT_EQ(dump.text, "");
    EXPECT_EQ(Runnable({"reg", "dump", "HKLM\\OtsUSB"}).text, "HKLM\\OtsUSB");
    const CommandLine import = Parse({"reg", "import", "extra.reg"});
    EXPECT_EQ(import.command.verb, Verb::RegImport);
    EXPECT_EQ(import.fileToRead, "extra.reg");
    EXPECT_EQ(import.command.fileName, "extra.reg");
    EXPECT_EQ(Parse({"reg"}).outcome, Outcome::Usage);
    EXPECT_EQ(Parse({"reg", "import"}).outcome, Outcome::Usage);

    Command follow = Runnable({"events", "--follow", "--count", "5"});
    EXPECT_EQ(follow.verb, Verb::Events);
    EXPECT_TRUE(follow.follow);
    EXPECT_EQ(follow.count, 5u);
    EXPECT_FALSE(Runnable({"events"}).follow);
    EXPECT_EQ(Parse({"events", "--count", "0"}).outcome, Outcome::Usage);
}

TEST(CectlCommandLine, PositionsMustBeFiniteNumbers) {
    for (const char* bad : {"x", "1e999", "nan", "inf", "", "1,5", "0x10"}) {
        EXPECT_EQ(Parse({"tap", bad, "1"}).outcome, Outcome::Usage) << bad;
    }
    EXPECT_EQ(Runnable({"tap", "-5", "1e2"}).points, (std::vector<Point>{{-5, 100}}));
}

TEST(CectlCommandLine, SocketComesBeforeTheCommand) {
    const CommandLine line = Parse({"--socket", "/run/x.sock", "list"});
    EXPECT_EQ(line.outcome, Outcome::Run);
    EXPECT_EQ(line.socketPath, "/run/x.sock");
    EXPECT_EQ(Parse({"--socket"}).outcome, Outcome::Usage);
    EXPECT_EQ(Parse({"--socket", "/run/x.sock"}).outcome, Outcome::Usage);
    EXPECT_EQ(Parse({"list", "--socket", "/run/x.sock"}).outcome, Outcome::Usage);
}

TEST(CectlCommandLine, HelpIsThereForEveryCommand) {
    EXPECT_EQ(Parse({"--help"}).outcome, Outcome::Help);
    EXPECT_THAT(Parse({"--help"}).message, HasSubstr("Exit codes"));
    for (const char* verb :
         {"plug", "unplug", "list", "tap", "touch", "hold", "drag", "draw", "reg", "events"}) {
        const CommandLine line = Parse({verb, "--help"});
        EXPECT_EQ(line.outcome, Outcome::Help) << verb;
        EXPECT_THAT(line.message, HasSubstr("usage: cectl")) << verb;
        EXPECT_THAT(UsageText(), HasSubstr(verb == std::string("hold") ? "touch" : verb));
    }
    // Help wins over whatever else is wrong on the line.
    EXPECT_EQ(Parse({"tap", "--bogus", "-h"}).outcome, Outcome::Help);
}

TEST(CectlCommandLine, UsageErrorsNameWhatIsWrong) {
    EXPECT_THAT(Parse({}).message, HasSubstr("no command"));
    EXPECT_THAT(Parse({"frobnicate"}).message, HasSubstr("\"frobnicate\""));
    EXPECT_THAT(Parse({"tap", "1", "2", "--panel", "x"}).message, HasSubstr("--panel"));
    EXPECT_THAT(Parse({"plug", "mouse"}).message, HasSubstr("\"mouse\""));
    EXPECT_THAT(Parse({"tap", "1"}).message, HasSubstr("cectl tap --help"));
    EXPECT_THAT(Parse({"list", "extra"}).message, HasSubstr("no arguments"));
}

}  // namespace
