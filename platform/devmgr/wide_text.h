// Wide-text helpers of the device manager: names are wide, file and symbol names narrow.
#pragma once

#include <string>
#include <string_view>

namespace ce::devmgr {

// UTF-8 form of a wide string (wchar_t holds one code point); invalid code points become '?'.
std::string ToUtf8(std::wstring_view text);

// Device names and prefixes compare without regard to case ("ots1:" opens "OTS1:").
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

}  // namespace ce::devmgr
