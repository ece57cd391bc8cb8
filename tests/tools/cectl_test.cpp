// cectl's command line, the control messages it sends the host, and the strokes it draws.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "cectl/command_line.h"
#include "cectl/control_request.h"
#include "cectl/stroke.h"

namespace {

using namespace ots::control;
using Outcome = CommandLine::Outcome;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w == "''" ? "" : w);
    }
    return words;
}

// The fields a command line set, in one line: verb number, then those not at their default.
std::string Summary(const CommandLine& line) {
    if (line.outcome != Outcome::Run) {
        return line.outcome == Outcome::Help ? "help" : "usage: " + line.message;
    }
    const Command& c = line.command;
    std::ostringstream out;
    out << static_cast<int>(c.verb);
    if (c.kind != ControllerKind::None)
        out << " kind " << static_cast<int>(c.kind);
    if (c.id != 0)
        out << " id " << c.id;
    if (c.durationMs != 0)
        out << " ms " << c.durationMs;
    if (c.count != 0)
        out << " count " << c.count;
    if (c.follow)
        out << " follow";
    for (std::size_t i = 0; i < std::min<std::size_t>(c.points.size(), 2); ++i) {
        out << " (" << c.points[i].xPx << "," << c.points[i].yPx << ")";
    }
    if (c.points.size() > 2)
        out << " +" << c.points.size() - 2;
    if (!c.panel.empty())
        out << " panel " << c.panel;
    if (!c.text.empty())
        out << " text " << c.text;
    if (!line.fileToRead.empty())
        out << " file " << line.fileToRead;
    if (!line.socketPath.empty())
        out << " socket " << line.socketPath;
    return out.str();
}

TEST(CectlCommandLine, EachCommandTurnsIntoItsRequest) {
    const std::string tapMs = std::to_string(kDefaultTapHoldMs);
    const std::pair<const char*, std::string> cases[] = {
        {"plug camera --panel defaults --id 7", "1 kind 2 id 7 panel defaults"},
        {"plug coordinate", "1 kind 1"},
        {"unplug 1", "2 id 1"},
        {"unplug 99", "2 id 99"},
        {"--socket /run/x.sock list", "3 socket /run/x.sock"},
        {"tap 400 300.5", "4 ms " + tapMs + " (400,300.5)"},
        {"tap -5 1e2 --ms 0", "4 (-5,100)"},
        {"tap 1 2 --ms 600000", "4 ms 600000 (1,2)"},
        {"hold 10 20 --ms 800 --id 2", "5 id 2 ms 800 (10,20)"},
        {"drag 1 2 3 4", "6 ms " + std::to_string(kDefaultDragMs) + " (1,2) (3,4)"},
        {"draw line 0 0 100 50 --ms 200", "7 ms 200 (0,0) (100,50)"},
        {"draw circle 400 300 100", "7 ms " + std::to_string(kDefaultDrawMs) + " (500,300)"},
        {"draw path points.txt", "7 ms " + std::to_string(kDefaultDrawMs) + " file points.txt"},
        {"reg dump", "8"},
        {"reg dump HKLM\\OtsUSB", "8 text HKLM\\OtsUSB"},
        {"reg import extra.reg", "9 file extra.reg"},
        {"events --follow --count 5", "10 count 5 follow"},
        {"events", "10"},
        {"--help", "help"},
        {"tap --bogus -h", "help"},
    };
    for (const auto& [line, expected] : cases) {
        const std::string summary = Summary(ParseCommandLine(Words(line)));
        if (std::string(line).starts_with("draw circle")) {
            EXPECT_TRUE(summary.starts_with(expected)) << summary;
            EXPECT_EQ(ParseCommandLine(Words(line)).command.points.size(), kCircleSegments + 1);
        } else {
            EXPECT_EQ(summary, expected) << line;
        }
    }
    EXPECT_EQ(ParseCommandLine(Words("reg import extra.reg")).command.fileName, "extra.reg");
    for (const char* verb :
         {"plug", "unplug", "list", "tap", "touch", "hold", "drag", "draw", "reg", "events"}) {
        const CommandLine help = ParseCommandLine(Words(std::string(verb) + " --help"));
        EXPECT_EQ(help.outcome, Outcome::Help) << verb;
        EXPECT_NE(help.message.find("usage: cectl"), std::string::npos) << verb;
    }
    EXPECT_NE(ParseCommandLine(Words("--help")).message.find("Exit codes"), std::string::npos);
}

TEST(CectlCommandLine, UsageErrorsNameWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command"},
        {"frobnicate", "\"frobnicate\""},
        {"tap 1 2 --panel x", "--panel"},
        {"plug mouse", "\"mouse\""},
        {"tap 1", "cectl tap --help"},
        {"list extra", "no arguments"},
        {"touch 10 20", "--ms"},
        {"tap 1 2 --ms 600001", ""},
        {"tap 1 2 --ms", ""},
        {"events --count 0", ""},
        {"--socket", ""},
        {"--socket /run/x.sock", ""},
        {"list --socket /run/x.sock", ""},
        {"reg", ""},
        {"reg import", ""},
        {"draw", ""},
        {"draw square 1", ""},
        {"draw circle 1 2 0", ""},
        {"draw circle 1 2", ""},
        {"draw line 1 2 3", ""},
        {"draw path", ""},
    };
    for (const auto& [line, part] : cases) {
        const CommandLine parsed = ParseCommandLine(Words(line));
        EXPECT_EQ(parsed.outcome, Outcome::Usage) << line;
        EXPECT_NE(parsed.message.find(part), std::string::npos) << line << ": " << parsed.message;
    }
    for (const char* bad : {"0", "100", "-1", "x", "1.5", "''"}) {
        EXPECT_EQ(ParseCommandLine(Words(std::string("unplug ") + bad)).outcome, Outcome::Usage)
            << bad;
        EXPECT_EQ(ParseCommandLine(Words(std::string("plug camera --id ") + bad)).outcome,
                  Outcome::Usage)
            << bad;
    }
    for (const char* bad : {"x", "1e999", "nan", "inf", "''", "1,5", "0x10"}) {
        EXPECT_EQ(ParseCommandLine(Words(std::string("tap ") + bad + " 1")).outcome, Outcome::Usage)
            << bad;
    }
}

Command FullCommand() {
    Command command;
    command.verb = Verb::Draw;
    command.kind = ControllerKind::Camera;
    command.id = 3;
    command.durationMs = 250;
    command.count = 9;
    command.follow = true;
    command.points = {{1.5, -2.0}, {800.0, 600.0}};
    command.panel = "mounted";
    command.text = "line1\nline2";
    command.fileName = "f.reg";
    return command;
}

TEST(ControlMessages, MatchTheirLayoutRoundTripAndRefuseWhatDoesNotFit) {
    Command tap;
    tap.verb = Verb::Tap;
    tap.id = 2;
    tap.durationMs = 50;
    tap.points = {{1.0, 0.0}};
    tap.panel = "ab";
    Bytes expected = {4, 0, 0, 0, 2, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0,
                      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F,  // 1.0 as an IEEE
                                                                                   // double
                      0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'};
    EXPECT_EQ(EncodeCommand(tap), expected);
    EXPECT_EQ(DecodeCommand(EncodeCommand(FullCommand())), FullCommand());
    const Reply reply{ReplyStatus::Refused, "no controller 4 is plugged"};
    const Bytes answer = EncodeReply(reply);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), (Bytes{1, 0, 0, 0, 26, 0, 0, 0}));
    EXPECT_EQ(DecodeReply(answer), reply);
    EXPECT_FALSE(DecodeReply(Bytes(answer.begin(), answer.end() - 1)));
    Bytes badStatus = answer;
    badStatus[0] = 2;
    EXPECT_FALSE(DecodeReply(badStatus));

    const Bytes good = EncodeCommand(FullCommand());
    const auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    Bytes huge = good;  // sizes whose sum would wrap in 32 bits
    for (std::size_t at : {20, 24, 28, 32}) {
        huge[at] = huge[at + 1] = huge[at + 2] = huge[at + 3] = 0xFF;
    }
    Command notFinite = FullCommand();
    notFinite.points[1].yPx = std::numeric_limits<double>::quiet_NaN();
    Command infinite = FullCommand();
    infinite.points[0].xPx = std::numeric_limits<double>::infinity();
    const std::pair<const char*, Bytes> refused[] = {
        {"one byte short", Bytes(good.begin(), good.end() - 1)},
        {"one byte over",
         [&] {
             Bytes b = good;
             b.push_back(0);
             return b;
         }()},
        {"shorter than the fixed fields", Bytes(35, 0)},
        {"verb 0", changed(0, 0)},
        {"verb 11", changed(0, 11)},
        {"kind 3", changed(2, 3)},
        {"unknown flag", changed(16, 2)},
        {"wrapping sizes", huge},
        {"NaN", EncodeCommand(notFinite)},
        {"infinity", EncodeCommand(infinite)},
    };
    for (const auto& [name, bytes] : refused) {
        EXPECT_FALSE(DecodeCommand(bytes)) << name;
    }
}

TEST(Strokes, CircleClosesOnItsStartAndPathFilesNameTheFaultyLine) {
    const std::vector<Point> circle = CircleStroke({400, 300}, 100);
    ASSERT_EQ(circle.size(), kCircleSegments + 1);
    EXPECT_NEAR(circle.front().xPx, 500.0, 1e-9);
    EXPECT_NEAR(circle.back().xPx, 500.0, 1e-9);
    EXPECT_NEAR(circle.back().yPx, 300.0, 1e-9);
    for (const Point& p : circle) {
        EXPECT_NEAR(std::hypot(p.xPx - 400, p.yPx - 300), 100.0, 1e-9);
    }
    EXPECT_NEAR(circle[kCircleSegments / 4].yPx, 200.0, 1e-9) << "the top of the screen";

    const PathText path = ParsePathText("# a square\n10 20\n\n  30\t40\r\n# end\n50 60", "p.txt");
    EXPECT_EQ(path.error, "");
    EXPECT_EQ(path.points, (std::vector<Point>{{10, 20}, {30, 40}, {50, 60}}));
    EXPECT_EQ(ParsePathText("1 2\n3\n", "p.txt").error, "p.txt:2: expected \"x y\"");
    EXPECT_EQ(ParsePathText("1 2 3\n", "p.txt").error, "p.txt:1: expected \"x y\"");
    EXPECT_TRUE(ParsePathText("1 2\nx\n", "p.txt").points.empty());
    EXPECT_NE(ParsePathText("# nothing\n", "p.txt").error.find("no points"), std::string::npos);
    std::string text;
    for (std::size_t i = 0; i < kMaxPathPoints; ++i) {
        text += "1 2\n";
    }
    EXPECT_EQ(ParsePathText(text, "p").points.size(), kMaxPathPoints);
    EXPECT_NE(ParsePathText(text + "1 2\n", "p").error.find("more than"), std::string::npos);
}

}  // namespace
