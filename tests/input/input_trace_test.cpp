// The trace sink: one JSON line per event, with the event's own time, flags and position.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "ce/host/input_sink.h"
#include "ce/input.h"

namespace {

std::vector<std::string> ReadLines(std::FILE* file) {
    std::rewind(file);
    std::vector<std::string> lines;
    std::string line;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    EXPECT_TRUE(line.empty()) << "unterminated line: " << line;
    return lines;
}

struct TraceLine {
    double tMs;
    std::string flags;
    unsigned long dx;
    unsigned long dy;
};

std::optional<TraceLine> Parse(const std::string& line) {
    static const std::regex kLine(
        R"re(\{"t_ms":([0-9]+\.[0-9]{3}),"flags":"(0x[0-9A-F]{4})","dx":([0-9]+),"dy":([0-9]+)\})re");
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
        return std::nullopt;
    }
    return TraceLine{std::stod(match[1]), match[2], std::stoul(match[3]), std::stoul(match[4])};
}

TEST(MouseEventTrace, WritesOneJsonLinePerEvent) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ce::host::MouseEventRecorder recorder;
    {
        ce::host::MouseEventTrace trace(file);
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, 16384, 32768, 0, 0);
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN, 0, 65536, 0, 0);
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP, 65534, 1, 0, 0);
    }
    mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, 5, 5, 0, 0);  // trace gone: not written

    const std::vector<std::string> lines = ReadLines(file);
    const std::vector<ce::host::MouseEvent> events = recorder.Events();
    ASSERT_EQ(lines.size(), 3u);
    const char* flags[] = {"0x8001", "0x8003", "0x8004"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const std::optional<TraceLine> parsed = Parse(lines[i]);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->flags, flags[i]);
        EXPECT_EQ(parsed->dx, events[i].dx);
        EXPECT_EQ(parsed->dy, events[i].dy);
        EXPECT_NEAR(parsed->tMs, events[i].platformMs, 0.0005);
    }
    std::fclose(file);
}

TEST(MouseEventTrace, WritesToStandardOutputByDefault) {
    testing::internal::CaptureStdout();
    {
        ce::host::MouseEventTrace trace;
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN, 7, 8, 0, 0);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    const std::optional<TraceLine> parsed = Parse(out.substr(0, out.size() - 1));
    ASSERT_TRUE(parsed) << out;
    EXPECT_EQ(parsed->flags, "0x8002");
    EXPECT_EQ(parsed->dx, 7u);
    EXPECT_EQ(parsed->dy, 8u);
}

}  // namespace
