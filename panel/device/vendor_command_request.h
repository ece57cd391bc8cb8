// One vendor command of the camera controller as the panel builds it before framing:
// class, code, and the payload (the index byte followed by the data bytes).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "ce/types.h"
#include "protocol/vendor_command.h"

// A controller's 64-byte reply, and the 58-byte block it carries from byte 5.
using VendorReply = std::array<BYTE, ots::kVendorPacketSize>;
using VendorBlock = std::array<BYTE, ots::kVendorBlockSize>;

struct VendorCommandRequest {
    BYTE bClass;
    BYTE bCode;
    std::vector<BYTE> Payload;  // index, then data; owned

    // The low nibble of the class says what the controller does with the command.
    bool IsWrite() const { return (bClass & 0x0F) == 1; }
    bool IsRead() const { return (bClass & 0x0F) == 2; }
    DWORD PayloadLength() const { return static_cast<DWORD>(Payload.size()); }  // data + 1
    DWORD FramedLength() const { return PayloadLength() + 5; }  // sync, class, code, L, checksum
};

// The request for (class, code, index, data). Nothing when the data cannot travel in one
// command: more than 58 bytes, or a null pointer with a nonzero length.
std::optional<VendorCommandRequest> MakeVendorCommand(BYTE bClass, BYTE bCode, BYTE bIndex,
                                                      const BYTE* pData, DWORD dwDataLength);

// The command as it goes to the controller: 0xAA, class, code, payload length, payload,
// checksum; FramedLength() bytes. Empty for a request without an index byte or with more data
// than one command carries.
std::vector<BYTE> SerializeVendorCommand(const VendorCommandRequest& request);
