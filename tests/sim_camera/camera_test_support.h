// What the camera simulation's tests share: a decoder of image packets written from the packet
// format alone, a bus port that records what the device offers, and byte helpers.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ce/host/usb_host.h"

namespace camtest {

using Bytes = std::vector<std::uint8_t>;
using Line = std::array<std::uint8_t, 640>;

inline std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

// 0x55 plus the sum of the bytes, modulo 256.
inline std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0x55;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint8_t>(sum);
}

// An image packet read as the format says: 0xAA, type 1 at byte 2, L at byte 3, codes at
// bytes 5 .. L + 3, checksum at 4 + L; each code c paints (c >> 1) + 1 pixels of c & 1 onto a
// zeroed line. Nothing when the framing is broken or the runs do not add up to the line.
inline std::optional<Line> DecodePacket(std::span<const std::uint8_t> packet) {
    if (packet.size() != 64 || packet[0] != 0xAA || packet[2] != 1) {
        return std::nullopt;
    }
    const std::size_t length = packet[3];
    if (length < 1 || 4 + length > 63 || packet[4 + length] != Checksum(packet.first(4 + length))) {
        return std::nullopt;
    }
    Line line{};
    std::size_t pixel = 0;
    for (std::size_t at = 5; at <= length + 3; ++at) {
        const std::size_t run = (packet[at] >> 1) + 1u;
        if (pixel + run > line.size()) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < run; ++i) {
            line[pixel++] = packet[at] & 1;
        }
    }
    if (pixel != line.size()) {
        return std::nullopt;
    }
    return line;
}

struct PixelRun {
    int start;
    int end;  // excluded
    bool operator==(const PixelRun&) const = default;
};

// The runs of 1-pixels of a line, in order.
template <typename LineT>
std::vector<PixelRun> LitRuns(const LineT& line) {
    std::vector<PixelRun> runs;
    for (int i = 0; i < static_cast<int>(line.size()); ++i) {
        if (line[static_cast<std::size_t>(i)] == 0) {
            continue;
        }
        if (!runs.empty() && runs.back().end == i) {
            runs.back().end = i + 1;
        } else {
            runs.push_back(PixelRun{i, i + 1});
        }
    }
    return runs;
}

inline std::ostream& operator<<(std::ostream& os, const PixelRun& run) {
    return os << "[" << run.start << ", " << run.end << ")";
}

// The bus side of a plugged device, keeping every report offered.
class RecordingPort final : public ce::host::UsbPort {
  public:
    struct Report {
        BYTE endpoint;
        Bytes bytes;
    };

    bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) override {
        std::lock_guard lock(mutex_);
        reports_.push_back(Report{endpointAddress, Bytes(report.begin(), report.end())});
        return true;
    }
    void Stall(BYTE) override {}
    void SetResponding(bool) override {}
    bool WaitIdle(DWORD) override { return true; }
    std::size_t QueuedTransfers(BYTE) const override { return 0; }
    std::size_t PendingReports(BYTE) const override { return pending.load(); }
    bool IsPipeOpen(BYTE) const override { return true; }

    std::vector<Report> Reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    std::size_t ReportCount() const {
        std::lock_guard lock(mutex_);
        return reports_.size();
    }

    std::atomic<std::size_t> pending{0};  // what PendingReports answers

  private:
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
};

}  // namespace camtest
