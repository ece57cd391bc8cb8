// Case folding of key and value names: names match case-insensitively and keep the case they
// were created with.
#pragma once

#include <string>
#include <string_view>

namespace ce::registry {

// Lower case for ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. Built in rather than
// taken from towlower, whose answer depends on the process locale: which names match and how
// they sort must not change with the host's environment.
wchar_t FoldChar(wchar_t c);
std::wstring FoldName(std::wstring_view name);

}  // namespace ce::registry
