#include "wide_text.h"

#include <algorithm>

#include "registry/name_fold.h"

namespace ce::devmgr {

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    // The registry's folding: device names match the way key names do, whatever the locale.
    return std::ranges::equal(
        a, b, [](wchar_t x, wchar_t y) { return registry::FoldChar(x) == registry::FoldChar(y); });
}

}  // namespace ce::devmgr
