#include "touch/frame_assembly.h"

#include <algorithm>

#include "touch/position.h"
#include "touch/run_length.h"
#include "touch/touch_data.h"

namespace {

constexpr std::size_t kTypeOffset = 2;
constexpr std::size_t kIndexOffset = 4;
constexpr BYTE kPacketOrderBits = 0x03;

bool IsImagePacket(std::span<const BYTE, ots::kVendorPacketSize> packet) {
    return packet[0] == ots::kFrameSync && packet[kTypeOffset] == ots::kImageDataCode &&
           HasValidImageLength(packet);
}

}  // namespace

bool CollectFramePacket(TOUCH_DATA& td, std::span<const BYTE, ots::kVendorPacketSize> packet,
                        FrameLines* lines) {
    if (!IsImagePacket(packet)) {
        return false;
    }
    const BYTE index = packet[kIndexOffset];
    if (index == kFirstPacket) {
        std::copy(packet.begin(), packet.end(), td.PendingPacket);  // a later first packet wins
        td.PacketPending = 1;
        return false;
    }
    if (index != kSecondPacket || td.PacketPending == 0) {
        return false;
    }
    // Both lengths were checked on arrival, so both lines decode.
    DecodeRunLengthLine(std::span<const BYTE, ots::kVendorPacketSize>(td.PendingPacket),
                        td.LineImageA);
    DecodeRunLengthLine(packet, td.LineImageB);
    if ((td.CameraParams0[0] & kPacketOrderBits) != 0) {
        *lines = FrameLines{td.LineImageA, td.LineImageB};
    } else {
        *lines = FrameLines{td.LineImageB, td.LineImageA};
    }
    td.PacketPending = 0;
    return true;
}

bool AssembleFrame(TOUCH_DATA& td, std::span<const BYTE, ots::kVendorPacketSize> packet) {
    FrameLines lines{};
    if (!CollectFramePacket(td, packet, &lines)) {
        return false;
    }
    SolveFrame(lines.first, ots::kLineImagePixels, lines.second, ots::kLineImagePixels,
               &td.Optical);
    return true;
}
