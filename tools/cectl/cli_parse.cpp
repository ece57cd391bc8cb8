#include "cectl/cli_parse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <vector>

namespace ots::control {
namespace {

template <typename T>
std::optional<T> Read(const std::string& text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            return std::nullopt;
        }
    }
    return value;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The words that name the command given last on the line ("cectl draw line").
std::string DeepestCommand(const CLI::App& app) {
    std::string path = app.get_name();
    for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
        command = command->get_subcommands().front();
        path += " " + command->get_name();
    }
    return path;
}

// Words no command took are collected rather than thrown at once, so that the first of
// them, in the order given, is named.
void CollectExtras(CLI::App& app) {
    app.allow_extras();
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        CollectExtras(*sub);
    }
}

std::string FirstExtra(const CLI::App& app, std::span<const std::string> args) {
    const std::vector<std::string> extras = app.remaining(true);
    for (const std::string& arg : args) {
        if (std::find(extras.begin(), extras.end(), arg) != extras.end()) {
            return arg;
        }
    }
    return {};
}

CLI::Validator NumberCheck(const std::string& what, std::function<bool(double)> fits) {
    return CLI::Validator(
        [what, fits](std::string& text) {
            const auto value = Read<double>(text);
            return value && fits(*value) ? std::string()
                                         : "takes " + what + ", not " + Quoted(text);
        },
        "");
}

}  // namespace

std::optional<double> ParseCoordinate(const std::string& text) {
    return Read<double>(text);
}

Parsed UsageError(const CLI::App& app, const std::string& what) {
    return {ParseOutcome::Usage,
            app.get_name() + ": " + what + " (see " + DeepestCommand(app) + " --help)\n"};
}

Parsed ParseWith(CLI::App& app, std::span<const std::string> args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    CollectExtras(app);
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::string help = app.help();
        return {ParseOutcome::Help, help.ends_with('\n') ? help : help + "\n"};
    } catch (const CLI::ParseError& error) {
        return UsageError(app, error.what());
    }
    if (const std::string extra = FirstExtra(app, args); !extra.empty()) {
        const auto any = [](CLI::App*) { return true; };
        const bool command = app.get_subcommands().empty() && !app.get_subcommands(any).empty();
        return UsageError(app,
                          (command ? "unknown command " : "unexpected argument ") + Quoted(extra));
    }
    return {ParseOutcome::Run, {}};
}

CLI::Validator WholeNumber(std::uint32_t min, std::uint32_t max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [=](std::string& text) {
            const auto value = Read<std::uint32_t>(text);
            return value && *value >= min && *value <= max
                       ? std::string()
                       : "takes a whole number from " + range + ", not " + Quoted(text);
        },
        "");
}

CLI::Validator NumberAbove(double floor) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", floor);
    return NumberCheck(std::string("a number above ") + text,
                       [floor](double v) { return v > floor; });
}

CLI::Validator NumberFrom(double floor) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", floor);
    return NumberCheck(std::string("a number from ") + text + " up",
                       [floor](double v) { return v >= floor; });
}

CLI::Validator Position() {
    return CLI::Validator(
        [](std::string& text) {
            return ParseCoordinate(text) ? std::string() : Quoted(text) + " is not a position";
        },
        "");
}

CLI::Validator OneOf(std::initializer_list<const char*> words) {
    std::vector<std::string> list(words.begin(), words.end());
    std::string choice;
    for (std::size_t i = 0; i < list.size(); ++i) {
        choice += (i == 0 ? "" : i + 1 == list.size() ? " or " : ", ") + list[i];
    }
    return CLI::Validator(
        [list, choice](std::string& text) {
            return std::find(list.begin(), list.end(), text) != list.end()
                       ? std::string()
                       : "takes " + choice + ", not " + Quoted(text);
        },
        "");
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](std::string& text) { return text.empty() ? std::string("needs a value") : ""; }, "");
}

}  // namespace ots::control
