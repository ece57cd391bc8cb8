#include "protocol/vendor_command.h"

#include <algorithm>

namespace ots {

namespace {
constexpr std::size_t kSyncAt = 0;
constexpr std::size_t kClassAt = 1;
constexpr std::size_t kCodeAt = 2;
constexpr std::size_t kLengthAt = 3;
constexpr std::size_t kIndexAt = 4;
constexpr std::uint8_t kChecksumSeed = 0x55;
constexpr std::uint8_t kResponseClassNibble = 0x1;
}  // namespace

std::uint8_t VendorChecksum(std::span<const std::uint8_t> bytesBeforeChecksum) {
    unsigned sum = kChecksumSeed;
    for (std::uint8_t b : bytesBeforeChecksum) {
        sum += b;
    }
    return static_cast<std::uint8_t>(sum);
}

std::size_t BuildVendorCommand(std::uint8_t cls, std::uint8_t code, std::uint8_t index,
                               const std::uint8_t* payload, std::size_t n,
                               std::span<std::uint8_t> dest) {
    if (n > kMaxVendorPayload || (payload == nullptr && n > 0) ||
        dest.size() < n + kFrameOverhead) {
        return 0;
    }
    dest[kSyncAt] = kFrameSync;
    dest[kClassAt] = cls;
    dest[kCodeAt] = code;
    dest[kLengthAt] = static_cast<std::uint8_t>(n + 1);
    dest[kIndexAt] = index;
    if (n > 0) {
        std::copy_n(payload, n, dest.begin() + kFrameHeaderSize);
    }
    const std::size_t checksumAt = kFrameHeaderSize + n;
    dest[checksumAt] = VendorChecksum(dest.first(checksumAt));
    return n + kFrameOverhead;
}

bool IsAcceptedResponse(std::span<const std::uint8_t, kVendorPacketSize> response,
                        std::uint8_t commandIndex) {
    return response[kSyncAt] == kFrameSync && response[kIndexAt] == commandIndex &&
           (response[kClassAt] >> 4) == kResponseClassNibble;
}

FrameHeader ReadFrameHeader(std::span<const std::uint8_t> frame) {
    if (frame.size() < kFrameHeaderSize) {
        return FrameHeader{};
    }
    return FrameHeader{frame[kSyncAt], frame[kClassAt], frame[kCodeAt], frame[kLengthAt],
                       frame[kIndexAt]};
}

int ValidateFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() < kFrameOverhead || frame[kSyncAt] != kFrameSync) {
        return -1;
    }
    // L counts the payload and the checksum byte, so a frame is L + 5 bytes long.
    const std::size_t length = frame[kLengthAt];
    const std::size_t total = kFrameHeaderSize + length;
    if (length == 0 || total > frame.size() || total > kVendorPacketSize) {
        return -1;
    }
    const std::size_t checksumAt = total - 1;
    if (frame[checksumAt] != VendorChecksum(frame.first(checksumAt))) {
        return -1;
    }
    return static_cast<int>(length - 1);
}

}  // namespace ots
