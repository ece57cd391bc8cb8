// The framed vendor command exchange with a camera controller over the default control pipe.
#pragma once

#include <cstddef>

#include "ce/kernel.h"
#include "ce/types.h"
#include "core/device_context.h"

inline constexpr DWORD kVendorAttempts = 5;
inline constexpr DWORD kBeforeCommandMs = 20;   // lets the controller finish the last exchange
inline constexpr DWORD kBeforeResponseMs = 40;  // lets it prepare the response

inline constexpr BYTE kVendorOutRequestType = 0x40;  // vendor, host to device, device
inline constexpr BYTE kVendorInRequestType = 0xC0;   // vendor, device to host, device
inline constexpr std::size_t kCommandIndexOffset = 4;

// Holds the controller's csVendor for one scope: an exchange, or a sequence of them.
class VendorLock {
  public:
    explicit VendorLock(DEVICE_CONTEXT& device) : cs_(&device.csVendor) {
        EnterCriticalSection(cs_);
    }
    ~VendorLock() { LeaveCriticalSection(cs_); }
    VendorLock(const VendorLock&) = delete;
    VendorLock& operator=(const VendorLock&) = delete;

  private:
    LPCRITICAL_SECTION cs_;
};

// Frames (cls, code, index, payload[0..n)) and exchanges it with SendVendorCommand.
DWORD ExchangeVendorCommand(DEVICE_CONTEXT* pDevice, BYTE cls, BYTE code, BYTE index,
                            const BYTE* payload, std::size_t n, BYTE* pResponse);
