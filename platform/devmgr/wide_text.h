// Wide-text helpers of the device manager.
#pragma once

#include <string_view>

namespace ce::devmgr {

// Device names and prefixes compare without regard to case ("ots1:" opens "OTS1:").
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

}  // namespace ce::devmgr
