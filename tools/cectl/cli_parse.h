// Command lines parsed with CLI11: the outcome each tool's main acts on, and the checks its
// options share (numbers as from_chars reads them, so "0x10" and "1,5" are no numbers).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

namespace ots::control {

enum class ParseOutcome {
    Run,    // act on what was parsed
    Help,   // print `message` to stdout, exit 0
    Usage,  // print `message` to stderr, exit 1
};

struct Parsed {
    ParseOutcome outcome = ParseOutcome::Usage;
    std::string message;
};

// Parses args (those after the program name) with app. Help carries the help text of the
// (sub)command asked about; Usage "<program>: <what is wrong> (see <program> [command] --help)".
Parsed ParseWith(CLI::App& app, std::span<const std::string> args);

// A usage error found after parsing, pointing at the help of the deepest command given.
Parsed UsageError(const CLI::App& app, const std::string& what);

// A finite decimal number, as a screen position in pixels.
std::optional<double> ParseCoordinate(const std::string& text);

CLI::Validator WholeNumber(std::uint32_t min, std::uint32_t max);
CLI::Validator NumberAbove(double floor);  // finite, above floor
CLI::Validator NumberFrom(double floor);   // finite, floor or above
CLI::Validator Position();                 // a finite number of pixels
CLI::Validator OneOf(std::initializer_list<const char*> words);
CLI::Validator NotEmpty();

}  // namespace ots::control
