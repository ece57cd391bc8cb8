#include "support/records.h"

#include <cstdio>
#include <numeric>

#include "protocol/vendor_command.h"

namespace ots::test {

std::string HexDump(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
        text += (i == 0 ? "" : " ");
        text += hex;
    }
    return text;
}

Bytes BlockResponse(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& block) {
    Bytes r(ots::kVendorPacketSize, 0);
    r[0] = 0xAA;
    r[1] = cls;
    r[2] = code;
    r[3] = static_cast<std::uint8_t>(ots::kVendorBlockSize + 1);
    r[4] = index;
    std::copy_n(block.begin(), std::min(block.size(), ots::kVendorBlockSize), r.begin() + 5);
    r[63] = static_cast<std::uint8_t>(std::accumulate(r.begin(), r.begin() + 63, 0x55u));
    return r;
}

Bytes PatternBlock(std::uint8_t seed) {
    Bytes block(ots::kVendorBlockSize);
    std::iota(block.begin(), block.end(), seed);
    return block;
}

Bytes Framed(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& data) {
    Bytes bytes(ots::kVendorPacketSize);
    bytes.resize(ots::BuildVendorCommand(cls, code, index, data.data(), data.size(), bytes));
    return bytes;
}

}  // namespace ots::test
