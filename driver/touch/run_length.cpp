#include "touch/run_length.h"

#include <algorithm>

namespace {
constexpr std::size_t kLengthOffset = 3;
}

bool HasValidImageLength(std::span<const BYTE, ots::kVendorPacketSize> packet) {
    const BYTE length = packet[kLengthOffset];
    return length >= kImageMinLength && length <= kImageMaxLength;
}

bool DecodeRunLengthLine(std::span<const BYTE, ots::kVendorPacketSize> packet,
                         std::span<BYTE, ots::kLineImagePixels> line) {
    if (!HasValidImageLength(packet)) {
        return false;
    }
    std::fill(line.begin(), line.end(), BYTE{0});
    const std::size_t codesEnd = kImageCodesOffset + packet[kLengthOffset] - 1;
    std::size_t pixel = 0;
    for (std::size_t at = kImageCodesOffset; at < codesEnd && pixel < line.size(); ++at) {
        const BYTE code = packet[at];
        const std::size_t run = std::min<std::size_t>((code >> 1) + 1u, line.size() - pixel);
        std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(pixel), run,
                    static_cast<BYTE>(code & 1));
        pixel += run;
    }
    return true;
}
