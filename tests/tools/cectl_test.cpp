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
#include "support/hex_bytes.h"

namespace {

using namespace ots::control;
using Outcome = CommandLine::Outcome;
using Bytes = std::vector<std::uint8_t>;

CommandLine Parse(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w == "''" ? "" : w);
    }
    return ParseCommandLine(words);
}

TEST(CectlCommandLine, EachCommandTurnsIntoItsRequest) {
    using enum Verb;
    constexpr ControllerKind kNone = ControllerKind::None;
    // verb, kind, id, ms, count, follow, points, panel, text, file name
    const std::pair<const char*, Command> cases[] = {
        {"plug camera --panel defaults --id 7",
         {Plug, ControllerKind::Camera, 7, 0, 0, false, {}, "defaults", "", ""}},
        {"unplug 99", {Unplug, kNone, 99, 0, 0, false, {}, "", "", ""}},
        {"--socket /run/x.sock list", {List, kNone, 0, 0, 0, false, {}, "", "", ""}},
        {"tap 400 300.5", {Tap, kNone, 0, kDefaultTapHoldMs, 0, false, {{400, 300.5}}, "", "", ""}},
        {"tap -5 1e2 --ms=0", {Tap, kNone, 0, 0, 0, false, {{-5, 100}}, "", "", ""}},
        {"tap 1 2 --ms 600000", {Tap, kNone, 0, 600000, 0, false, {{1, 2}}, "", "", ""}},
        {"hold 10 20 --ms 800 --id 2", {Touch, kNone, 2, 800, 0, false, {{10, 20}}, "", "", ""}},
        {"drag 1 2 3 4", {Drag, kNone, 0, kDefaultDragMs, 0, false, {{1, 2}, {3, 4}}, "", "", ""}},
        {"draw line 0 0 100 50 --ms 200",
         {Draw, kNone, 0, 200, 0, false, {{0, 0}, {100, 50}}, "", "", ""}},
        {"draw circle 400 300 100",
         {Draw, kNone, 0, kDefaultDrawMs, 0, false, CircleStroke({400, 300}, 100), "", "", ""}},
        {"reg dump HKLM\\OtsUSB", {RegDump, kNone, 0, 0, 0, false, {}, "", "HKLM\\OtsUSB", ""}},
        {"reg import extra.reg", {RegImport, kNone, 0, 0, 0, false, {}, "", "", "extra.reg"}},
        {"events --follow --count 5", {Events, kNone, 0, 0, 5, true, {}, "", "", ""}},
        {"events", {Events, kNone, 0, 0, 0, false, {}, "", "", ""}},
    };
    for (const auto& [line, expected] : cases) {
        const CommandLine parsed = Parse(line);
        EXPECT_EQ(parsed.outcome, Outcome::Run) << line << ": " << parsed.message;
        EXPECT_TRUE(parsed.command == expected) << line;
    }
    EXPECT_EQ(Parse("--socket /run/x.sock list").socketPath, "/run/x.sock");
    EXPECT_EQ(Parse("reg import extra.reg").fileToRead, "extra.reg");
}

// Help and usage errors are run as cectl itself (host_test.cpp).

TEST(ControlMessages, MatchTheirLayoutRoundTripAndRefuseWhatDoesNotFit) {
    const Command tap{Verb::Tap, ControllerKind::None, 2, 50, 0, false, {{1.0, 0.0}}, "ab", "", ""};
    EXPECT_EQ(EncodeCommand(tap), ots::test::Hex("04 00 00 00 02 00 00 00 32 00 00 00 00 00 00 00 "
                                                 "00 00 00 00 01 00 00 00 02 00 00 00 00 00 00 00 "
                                                 "00 00 00 00 00 00 00 00 00 00 F0 3F "  // 1.0
                                                 "00 00 00 00 00 00 00 00 61 62"));
    const Command full{
        Verb::Draw, ControllerKind::Camera, 3,      250, 9, true, {{1.5, -2.0}, {800.0, 600.0}},
        "mounted",  "line1\nline2",         "f.reg"};
    EXPECT_EQ(DecodeCommand(EncodeCommand(full)), full);
    const Reply reply{ReplyStatus::Refused, "no controller 4 is plugged"};
    const Bytes answer = EncodeReply(reply);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), (Bytes{1, 0, 0, 0, 26, 0, 0, 0}));
    EXPECT_EQ(DecodeReply(answer), reply);
    EXPECT_FALSE(DecodeReply(Bytes(answer.begin(), answer.end() - 1)));
    Bytes badStatus = answer;
    badStatus[0] = 2;
    EXPECT_FALSE(DecodeReply(badStatus));

    const Bytes good = EncodeCommand(full);
    const auto changed = [&](std::initializer_list<std::size_t> at, std::uint8_t value) {
        Bytes b = good;
        for (std::size_t i : at) {
            b.at(i) = value;
        }
        return b;
    };
    Command notFinite = full;
    notFinite.points[1].yPx = std::numeric_limits<double>::quiet_NaN();
    Command infinite = full;
    infinite.points[0].xPx = std::numeric_limits<double>::infinity();
    Bytes over = good;
    over.push_back(0);
    const std::pair<const char*, Bytes> refused[] = {
        {"one byte short", Bytes(good.begin(), good.end() - 1)},
        {"one byte over", over},
        {"shorter than the fixed fields", Bytes(35, 0)},
        {"verb 0", changed({0}, 0)},
        {"verb 11", changed({0}, 11)},
        {"kind 4", changed({2}, 4)},
        {"unknown flag", changed({16}, 2)},
        // sizes whose sum would wrap in 32 bits
        {"wrapping sizes",
         changed({20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35}, 0xFF)},
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
