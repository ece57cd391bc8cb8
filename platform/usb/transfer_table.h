// Transfers live in reusable slots, so that a client keeping a ring of transfers going costs
// no allocation once the ring is set up. A transfer's handle carries its slot and the slot's
// generation: a handle to a closed transfer no longer matches, even after the slot is reused.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ce/usbd.h"

namespace ce::usb {

struct Device;
struct Endpoint;

struct Transfer {
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;  // 0 while the slot is free
    std::shared_ptr<Device> device;
    Endpoint* endpoint = nullptr;  // null for control transfers
    std::uint32_t pipe = 0;        // the pipe it was issued on
    LPTRANSFER_NOTIFY_ROUTINE routine = nullptr;
    LPVOID parameter = nullptr;
    DWORD flags = 0;
    BYTE* buffer = nullptr;
    DWORD length = 0;
    bool complete = false;
    DWORD bytesTransferred = 0;
    DWORD usbError = USB_NOT_COMPLETE_ERROR;

    // Never a value a device or pipe handle takes: those stay below 2^32.
    std::uint64_t Handle() const { return (std::uint64_t{generation} << 32) | slot; }
};

class TransferTable {
  public:
    // A cleared transfer in a free slot; grows the table only when every slot is taken.
    Transfer& Allocate();
    // The live transfer a handle names, or null.
    Transfer* Find(std::uint64_t handle);
    // Frees the slot; the transfer's handle is stale from now on.
    void Release(Transfer& transfer);

  private:
    std::vector<std::unique_ptr<Transfer>> slots_;
    std::vector<std::uint32_t> free_;
    std::vector<std::uint32_t> generations_;  // the last generation each slot gave out
};

}  // namespace ce::usb
