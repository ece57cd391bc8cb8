#include "cectl/reg_defines.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ots::control {

bool AddRegDefine(const std::string& text, std::map<std::string, std::string>& defines) {
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        })) {
        return false;
    }
    defines[name] = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    return true;
}

void AddRegDefineOption(CLI::App& app, std::map<std::string, std::string>& defines) {
    app.add_option_function<std::vector<std::string>>(
           "--define",
           [&defines](const std::vector<std::string>& all) {
               for (const std::string& one : all) {
                   AddRegDefine(one, defines);
               }
           },
           "defines NAME for a device image's registry file (IF, #if, $(NAME)); repeatable")
        ->type_name("NAME[=VALUE]")
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& text) {
                std::map<std::string, std::string> scratch;
                return AddRegDefine(text, scratch)
                           ? std::string()
                           : "takes NAME or NAME=VALUE, not \"" + text + "\"";
            },
            ""));
}

}  // namespace ots::control
