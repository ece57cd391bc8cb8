// cectl's registry commands: dump as .reg text, import .reg text.
#pragma once

#include <string>

#include "cectl/control_request.h"

namespace ots::host {

// KEY may start with "HKEY_LOCAL_MACHINE\" or "HKLM\"; empty dumps the whole registry.
ots::control::Reply DumpRegistry(const std::string& key);
ots::control::Reply ImportRegistry(const std::string& text, const std::string& fileName);

}  // namespace ots::host
