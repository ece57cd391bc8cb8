#include "core/context_table.h"

#include <mutex>

namespace {

// Cookie: bits 0-3 slot index, bits 4-31 the slot's generation (1 .. 2^28 - 1, never 0).
constexpr DWORD kSlotBits = 4;
constexpr DWORD kSlotMask = (1u << kSlotBits) - 1;
constexpr DWORD kMaxGeneration = 0xFFFFFFFFu >> kSlotBits;
static_assert(kMaxDeviceContexts <= kSlotMask + 1);

struct ContextSlot {
    DEVICE_CONTEXT* pDevice;
    DWORD dwGeneration;  // generation of the current or last occupant
};

std::mutex gTableMutex;
ContextSlot gSlots[kMaxDeviceContexts];

DWORD NextGeneration(DWORD dwGeneration) {
    return dwGeneration >= kMaxGeneration ? 1 : dwGeneration + 1;
}

}  // namespace

DWORD RegisterContext(DEVICE_CONTEXT* pDevice) {
    if (pDevice == nullptr) {
        return 0;
    }
    std::lock_guard lock(gTableMutex);
    for (DWORD slot = 0; slot < kMaxDeviceContexts; ++slot) {
        ContextSlot& entry = gSlots[slot];
        if (entry.pDevice == nullptr) {
            entry.pDevice = pDevice;
            entry.dwGeneration = NextGeneration(entry.dwGeneration);
            return (entry.dwGeneration << kSlotBits) | slot;
        }
    }
    return 0;
}

void UnregisterContext(DWORD dwCookie) {
    const DWORD slot = dwCookie & kSlotMask;
    if (dwCookie == 0 || slot >= kMaxDeviceContexts) {
        return;
    }
    std::lock_guard lock(gTableMutex);
    ContextSlot& entry = gSlots[slot];
    if (entry.pDevice != nullptr && entry.dwGeneration == dwCookie >> kSlotBits) {
        entry.pDevice = nullptr;
    }
}

DEVICE_CONTEXT* ResolveContext(DWORD dwCookie) {
    const DWORD slot = dwCookie & kSlotMask;
    if (dwCookie == 0 || slot >= kMaxDeviceContexts) {
        return nullptr;
    }
    std::lock_guard lock(gTableMutex);
    const ContextSlot& entry = gSlots[slot];
    if (entry.pDevice == nullptr || entry.dwGeneration != dwCookie >> kSlotBits ||
        entry.pDevice->dwSig != DEVICE_SIG) {
        return nullptr;
    }
    return entry.pDevice;
}
