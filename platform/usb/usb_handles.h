// USB handles are table numbers dressed as the opaque handle types; never pointers.
#pragma once

#include <cstdint>
#include <limits>

#include "ce/usbd.h"

namespace ce::usb {

static_assert(sizeof(std::uintptr_t) == sizeof(std::uint64_t), "transfer handles need 64 bits");

template <class Handle>
Handle ToHandle(std::uint64_t number) {
    return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(number));
}

inline std::uint64_t HandleValue(USB_TRANSFER handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

// 0 (no entry) for a value that no table number can be.
template <class Handle>
std::uint32_t HandleNumber(Handle handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value > std::numeric_limits<std::uint32_t>::max() ? 0
                                                             : static_cast<std::uint32_t>(value);
}

// The function table handed to every client driver at attach.
extern const USB_FUNCS kUsbFuncs;

}  // namespace ce::usb
