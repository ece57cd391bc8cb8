// Run-length-coded line images of the camera generation's image packets.
#pragma once

#include <span>

#include "ce/types.h"
#include "protocol/vendor_command.h"

inline constexpr std::size_t kImageCodesOffset = 5;  // first run code
inline constexpr BYTE kImageMinLength = 1;           // L: codes + 1; the index byte alone
inline constexpr BYTE kImageMaxLength = 59;          // the checksum at 4 + L must fit the packet

// Whether the packet's length byte L keeps its codes and checksum inside the packet.
bool HasValidImageLength(std::span<const BYTE, ots::kVendorPacketSize> packet);

// Clears the line, then each code c at offsets 5..L+3 writes (c SHR 1) + 1 pixels of value
// c AND 1. Runs that add up to more than the line stop at its end. A packet whose length byte
// runs past the packet leaves the line untouched and gives false.
bool DecodeRunLengthLine(std::span<const BYTE, ots::kVendorPacketSize> packet,
                         std::span<BYTE, ots::kLineImagePixels> line);
