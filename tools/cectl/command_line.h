// cectl's command line: `cectl [--socket PATH] <command> [options]`, turned into the Command
// that goes to the host. Files named on the line are read by the caller, not here.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "cectl/cli_parse.h"
#include "cectl/control_request.h"

namespace ots::control {

inline constexpr std::uint32_t kDefaultTapHoldMs = 50;
inline constexpr std::uint32_t kDefaultDragMs = 300;
inline constexpr std::uint32_t kDefaultDrawMs = 1000;
inline constexpr std::uint32_t kMaxDurationMs = 600000;
inline constexpr std::uint32_t kMaxControllerId = 99;

struct CommandLine {
    using Outcome = ParseOutcome;  // Run: send `command`
    Outcome outcome = Outcome::Usage;
    std::string socketPath;  // --socket; empty: the default path
    Command command;
    std::string message;
    // draw path FILE: the points to read; reg import FILE: the text to send.
    std::string fileToRead;
    // reg import --define: the file is resolved here with these names (a device image's file).
    std::map<std::string, std::string> defines;
};

// args: the arguments after the program name.
CommandLine ParseCommandLine(std::span<const std::string> args);

}  // namespace ots::control
