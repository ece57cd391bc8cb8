// The line images of the cameras and their run-length coding in a 64-byte image packet:
//   0 0xAA, 1 0x10 (device to host; the driver does not look at it), 2 1 (image data),
//   3 L = number of codes + 1, 4 packet index (0 first, 1 second), 5.. the codes,
//   4 + L checksum (0x55 plus the sum of the bytes before it), then zeros.
// A code c paints (c >> 1) + 1 pixels of value c & 1, so a run of 1..128 equal pixels; longer
// runs take several codes. A line is sent whole, all 640 pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/vendor_command.h"
#include "sim/camera_lens.h"

namespace ots::sim {

// One byte per pixel, 0 or 1; a finger's shadow is a run of 1s.
using LineImage = std::array<std::uint8_t, kLinePixels>;
using ImagePacket = std::array<std::uint8_t, ots::kVendorPacketSize>;

inline constexpr std::uint8_t kImagePacketClass = 0x10;
inline constexpr std::size_t kMaxLineCodes = ots::kVendorPacketSize - ots::kFrameOverhead;  // 58
inline constexpr int kMaxRunPerCode = 128;

struct LineRun {
    std::uint8_t value;
    int length;  // pixels
    bool operator==(const LineRun&) const = default;
};

std::vector<LineRun> RunsOf(const LineImage& line);
LineImage LineOf(std::span<const LineRun> runs);

// Codes needed to send the runs.
std::size_t CodesFor(std::span<const LineRun> runs);

// A line of more than 58 codes does not fit a packet. The firmware then fills the shortest
// run with its neighbours' value, again and again until the line fits: speckle disappears
// first, a finger's shadow is wider than any speckle and survives. Of equally short runs a
// lit one is darkened before a dark one is lit, then the leftmost goes first. Returns how
// many runs were filled.
int FitRunsToPacket(std::vector<LineRun>& runs);

// Frames runs that fit (at most 58 codes) as an image packet.
ImagePacket EncodeImagePacket(std::span<const LineRun> runs, std::uint8_t index);

struct EncodedLine {
    ImagePacket packet;
    LineImage sent;  // the line the packet describes: the one given, unless runs were filled
    int filledRuns;  // runs the fitting filled; 0 when the line was sent as it is
};
EncodedLine EncodeLine(const LineImage& line, std::uint8_t index);

}  // namespace ots::sim
