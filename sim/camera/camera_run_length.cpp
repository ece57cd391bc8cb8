#include "sim/camera_run_length.h"

#include <algorithm>

namespace ots::sim {

namespace {
constexpr std::size_t kClassAt = 1;
constexpr std::size_t kCodeAt = 2;
constexpr std::size_t kLengthAt = 3;
constexpr std::size_t kIndexAt = 4;
constexpr std::size_t kCodesAt = ots::kFrameHeaderSize;

std::size_t CodesForRun(int length) {
    return static_cast<std::size_t>((length + kMaxRunPerCode - 1) / kMaxRunPerCode);
}

// Joins neighbouring runs of equal value.
void Coalesce(std::vector<LineRun>& runs) {
    std::vector<LineRun> joined;
    for (const LineRun& run : runs) {
        if (!joined.empty() && joined.back().value == run.value) {
            joined.back().length += run.length;
        } else {
            joined.push_back(run);
        }
    }
    runs = std::move(joined);
}
}  // namespace

std::vector<LineRun> RunsOf(const LineImage& line) {
    std::vector<LineRun> runs;
    for (std::uint8_t pixel : line) {
        const std::uint8_t value = pixel != 0 ? 1 : 0;
        if (!runs.empty() && runs.back().value == value) {
            ++runs.back().length;
        } else {
            runs.push_back(LineRun{value, 1});
        }
    }
    return runs;
}

LineImage LineOf(std::span<const LineRun> runs) {
    LineImage line{};
    std::size_t at = 0;
    for (const LineRun& run : runs) {
        for (int i = 0; i < run.length && at < line.size(); ++i) {
            line[at++] = run.value;
        }
    }
    return line;
}

std::size_t CodesFor(std::span<const LineRun> runs) {
    std::size_t codes = 0;
    for (const LineRun& run : runs) {
        codes += CodesForRun(run.length);
    }
    return codes;
}

int FitRunsToPacket(std::vector<LineRun>& runs) {
    int filled = 0;
    while (CodesFor(runs) > kMaxLineCodes && runs.size() > 1) {
        // Among equally short runs a lit one goes first: a lit pixel too many is a phantom
        // shadow, a dark one too many costs a finger one pixel.
        const auto shortest =
            std::min_element(runs.begin(), runs.end(), [](const LineRun& a, const LineRun& b) {
                return a.length != b.length ? a.length < b.length : a.value > b.value;
            });
        shortest->value = shortest->value != 0 ? 0 : 1;
        Coalesce(runs);
        ++filled;
    }
    return filled;
}

ImagePacket EncodeImagePacket(std::span<const LineRun> runs, std::uint8_t index) {
    ImagePacket packet{};
    std::size_t at = kCodesAt;
    for (const LineRun& run : runs) {
        for (int left = run.length; left > 0 && at < kCodesAt + kMaxLineCodes;) {
            const int n = std::min(left, kMaxRunPerCode);
            packet[at++] = static_cast<std::uint8_t>(((n - 1) << 1) | (run.value & 1));
            left -= n;
        }
    }
    const std::size_t codes = at - kCodesAt;
    packet[0] = ots::kFrameSync;
    packet[kClassAt] = kImagePacketClass;
    packet[kCodeAt] = ots::kImageDataCode;
    packet[kLengthAt] = static_cast<std::uint8_t>(codes + 1);
    packet[kIndexAt] = index;
    packet[at] = ots::VendorChecksum(std::span<const std::uint8_t>(packet).first(at));
    return packet;
}

EncodedLine EncodeLine(const LineImage& line, std::uint8_t index) {
    std::vector<LineRun> runs = RunsOf(line);
    const int filled = FitRunsToPacket(runs);
    return EncodedLine{EncodeImagePacket(runs, index), filled == 0 ? line : LineOf(runs), filled};
}

}  // namespace ots::sim
