// The framed vendor command protocol of the camera controller, and the image packets that use
// the same framing:
//   0: 0xAA  1: class  2: code  3: payload length + 1  4: index  5..: payload  then checksum
//   checksum = 0x55 + sum of all bytes before it, modulo 256
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::uint8_t kFrameSync = 0xAA;
inline constexpr std::size_t kVendorPacketSize = 64;   // responses and image packets
inline constexpr std::size_t kMaxVendorPayload = 58;   // so that a command fits 64 bytes
inline constexpr std::size_t kVendorBlockOffset = 5;   // a response's 58-byte block: bytes 5..62
inline constexpr std::size_t kVendorBlockSize = 58;
inline constexpr std::size_t kFrameHeaderSize = 5;  // sync, class, code, L, index
inline constexpr std::size_t kFrameOverhead = 6;    // header and checksum around the payload

static_assert(kMaxVendorPayload + kFrameOverhead == kVendorPacketSize);
static_assert(kVendorBlockOffset == kFrameHeaderSize);
static_assert(kVendorBlockOffset + kVendorBlockSize < kVendorPacketSize);

inline constexpr std::uint8_t kClassControl = 1;
inline constexpr std::uint8_t kClassReadBlock = 2;

inline constexpr std::uint8_t kCodeBracket = 0x71;        // payload 1 before block reads, 0 after
inline constexpr std::uint8_t kCodeCameraParams = 0x10;   // index 0 / 1
inline constexpr std::uint8_t kCodePanelBlock = 0x30;     // index 0 PanelParams, 1 DeviceConfig
inline constexpr std::uint8_t kCodeStoreDeviceConfig = 0x31;
inline constexpr std::uint8_t kCodeCalibration = 0x14;    // index 0 x, 1 y
inline constexpr std::uint8_t kCodeStoreCalibration = 0x15;
inline constexpr std::uint8_t kCodeVersion = 0x32;

// 0x55 plus the sum of the bytes, modulo 256.
std::uint8_t VendorChecksum(std::span<const std::uint8_t> bytesBeforeChecksum);

// Fills dest with the framing of (class, code, index, payload[0..n)) and returns the command
// length n + 6; returns 0 and writes nothing when n exceeds kMaxVendorPayload, payload is null
// with n > 0, or dest is shorter than n + 6.
std::size_t BuildVendorCommand(std::uint8_t cls, std::uint8_t code, std::uint8_t index,
                               const std::uint8_t* payload, std::size_t n,
                               std::span<std::uint8_t> dest);

// A response is accepted when byte 0 is 0xAA, byte 4 repeats the command's index and the high
// nibble of byte 1 is 1.
bool IsAcceptedResponse(std::span<const std::uint8_t, kVendorPacketSize> response,
                        std::uint8_t commandIndex);

// The fields of a received frame's header, as a controller or a test reads them.
struct FrameHeader {
    std::uint8_t sync;    // 0xAA
    std::uint8_t cls;     // class
    std::uint8_t code;    // 1 = image data for image packets
    std::uint8_t length;  // payload length + 1 (L)
    std::uint8_t index;
};
// A frame shorter than kFrameHeaderSize reads as an all-zero header (no sync).
FrameHeader ReadFrameHeader(std::span<const std::uint8_t> frame);

// Validates a whole received command: sync, length within the bytes given and within 64, and
// the checksum. Returns the payload length n, or -1 when the frame is malformed.
int ValidateFrame(std::span<const std::uint8_t> frame);

inline constexpr std::uint8_t kImageDataCode = 1;  // byte 2 of an image packet
inline constexpr std::size_t kLineImagePixels = 640;

}  // namespace ots
