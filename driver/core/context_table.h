// The table of live device contexts. Entry points, callbacks and the reader thread never receive
// a DEVICE_CONTEXT pointer: they receive a 32-bit cookie (a registry DWORD cannot hold a
// pointer) and resolve it here, so that a stale or forged value is refused instead of read.
#pragma once

#include "ce/types.h"
#include "core/device_context.h"

inline constexpr DWORD kMaxDeviceContexts = 16;

// Enters a context and returns its cookie (never 0), or 0 when every slot is taken.
DWORD RegisterContext(DEVICE_CONTEXT* pDevice);

// Takes the context out of the table; its cookie is refused from then on.
void UnregisterContext(DWORD dwCookie);

// The context of a cookie, or null unless the cookie names a live slot of the same generation
// whose context still carries DEVICE_SIG.
DEVICE_CONTEXT* ResolveContext(DWORD dwCookie);

// A cookie travels through LPVOID parameters (thread start, notification routine) as a value.
inline LPVOID CookieToParameter(DWORD dwCookie) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a value, never dereferenced
    return reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(dwCookie));
}
inline DWORD CookieFromParameter(LPVOID lpParameter) {
    const auto value = reinterpret_cast<std::uintptr_t>(lpParameter);
    return value > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(value);
}
