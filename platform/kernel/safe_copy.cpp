// CeSafeCopyMemory and the library entry helpers.
#include <cstdint>
#include <cstring>

#include "ce/kernel.h"

namespace {

bool RangeWraps(const void* start, DWORD size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    return size != 0 && begin + (size - 1) < begin;
}

}  // namespace

extern "C" BOOL CeSafeCopyMemory(LPVOID pDst, LPCVOID pSrc, DWORD cbSize) {
    if (pDst == nullptr || pSrc == nullptr || RangeWraps(pDst, cbSize) ||
        RangeWraps(pSrc, cbSize)) {
        return FALSE;
    }
    if (cbSize != 0) {
        std::memmove(pDst, pSrc, cbSize);
    }
    return TRUE;
}

// Thread attach and detach notifications are never sent here, so there is nothing to turn off.
extern "C" BOOL DisableThreadLibraryCalls(HMODULE /*hLibModule*/) {
    return TRUE;
}
