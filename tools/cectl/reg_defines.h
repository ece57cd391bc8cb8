// --define NAME[=VALUE] of cectl's reg import and of cehost: the names a device image's
// registry file tests with IF and #if and expands as $(NAME).
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>

namespace ots::control {

// Adds NAME (value empty) or NAME=VALUE; false when NAME is not letters, digits and '_'.
bool AddRegDefine(const std::string& text, std::map<std::string, std::string>& defines);

// Gives the command a repeatable --define that fills `defines`.
void AddRegDefineOption(CLI::App& app, std::map<std::string, std::string>& defines);

}  // namespace ots::control
