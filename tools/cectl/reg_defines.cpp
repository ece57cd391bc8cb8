#include "cectl/reg_defines.h"

#include <algorithm>
#include <cctype>

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

}  // namespace ots::control
