// Pairs the two image packets of a camera frame and solves the frame.
#pragma once

#include <span>

#include "ce/types.h"
#include "protocol/vendor_command.h"

struct TOUCH_DATA;

inline constexpr BYTE kFirstPacket = 0;
inline constexpr BYTE kSecondPacket = 1;

// The decoded lines of a complete frame in the order the solver takes them.
struct FrameLines {
    const BYTE* first;
    const BYTE* second;
};

// Stores a first packet, or completes the frame with a second one: decodes both lines into
// LineImageA (first packet) and LineImageB (second) and returns true with the lines in solver
// order (CameraParams0's first byte, bits 0-1, nonzero: A first). Packets that are not image
// data, carry a length byte past the packet, or have no partner change nothing.
bool CollectFramePacket(TOUCH_DATA& td, std::span<const BYTE, ots::kVendorPacketSize> packet,
                        FrameLines* lines);

// CollectFramePacket, then SolveFrame on the completed frame.
bool AssembleFrame(TOUCH_DATA& td, std::span<const BYTE, ots::kVendorPacketSize> packet);
