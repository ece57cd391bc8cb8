// The framed vendor command exchange with a camera controller over the default control pipe.
#pragma once

#include <cstddef>

#include "ce/types.h"
#include "core/device_context.h"

inline constexpr DWORD kVendorAttempts = 5;
inline constexpr DWORD kBeforeCommandMs = 20;   // lets the controller finish the last exchange
inline constexpr DWORD kBeforeResponseMs = 40;  // lets it prepare the response

inline constexpr BYTE kVendorOutRequestType = 0x40;  // vendor, host to device, device
inline constexpr BYTE kVendorInRequestType = 0xC0;   // vendor, device to host, device
inline constexpr std::size_t kCommandIndexOffset = 4;

// Frames (cls, code, index, payload[0..n)) and exchanges it with SendVendorCommand.
DWORD ExchangeVendorCommand(DEVICE_CONTEXT* pDevice, BYTE cls, BYTE code, BYTE index,
                            const BYTE* payload, std::size_t n, BYTE* pResponse);
