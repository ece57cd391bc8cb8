// cectl's command line: `cectl [--socket PATH] <command> [options]`, turned into the Command
// that goes to the host. Files named on the line are read by the caller, not here.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "cectl/control_request.h"

namespace ots::control {

inline constexpr std::uint32_t kDefaultTapHoldMs = 50;
inline constexpr std::uint32_t kDefaultDragMs = 300;
inline constexpr std::uint32_t kDefaultDrawMs = 1000;
inline constexpr std::uint32_t kMaxDurationMs = 600000;
inline constexpr std::uint32_t kMaxControllerId = 99;

struct CommandLine {
    enum class Outcome {
        Run,    // send `command`
        Help,   // print `message` to stdout, exit 0
        Usage,  // print `message` to stderr, exit 1
    };
    Outcome outcome = Outcome::Usage;
    std::string socketPath;  // --socket; empty: the default path
    Command command;
    std::string message;
    // draw path FILE: the points to read; reg import FILE: the text to send.
    std::string fileToRead;
    // reg import --define: the file is a device image's, resolved here with these names.
    std::map<std::string, std::string> defines;
};

// args: the arguments after the program name.
CommandLine ParseCommandLine(std::span<const std::string> args);

// The whole usage text (cectl --help).
std::string UsageText();

// A screen position in pixels: a finite decimal number.
std::optional<double> ParseCoordinate(const std::string& text);

}  // namespace ots::control
