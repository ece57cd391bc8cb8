#include "device/wide_string.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

// Characters before the terminator, looking at no more than nLimit of them.
std::size_t BoundedLength(LPCWSTR lpText, std::size_t nLimit) {
    std::size_t nChars = 0;
    while (nChars < nLimit && lpText[nChars] != L'\0') {
        ++nChars;
    }
    return nChars;
}

}  // namespace

std::size_t WideStringLength(LPCWSTR lpText) {
    return lpText == nullptr ? 0 : std::wcslen(lpText);
}

std::size_t WideStringCopy(LPWSTR lpDest, std::size_t nDestChars, LPCWSTR lpSource,
                           std::size_t nMaxChars) {
    if (lpDest == nullptr || nDestChars == 0) {
        return 0;
    }
    std::size_t nChars = 0;
    if (lpSource != nullptr) {
        nChars = BoundedLength(lpSource, std::min(nMaxChars, nDestChars - 1));
        std::memcpy(lpDest, lpSource, nChars * sizeof(WCHAR));
    }
    lpDest[nChars] = L'\0';
    return nChars;
}
