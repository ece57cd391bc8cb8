// The packets a simulated controller put on the bus, newest last, for tests and tools to read
// back. Only the most recent kCapacity are kept: a controller streaming for hours in a host
// must not grow without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace ots::sim {

class PacketHistory {
  public:
    static constexpr std::size_t kCapacity = 16384;

    void Add(std::span<const std::uint8_t> packet) {
        if (packets_.size() == kCapacity) {
            packets_.pop_front();
        }
        packets_.emplace_back(packet.begin(), packet.end());
    }
    std::vector<std::vector<std::uint8_t>> All() const {
        return {packets_.begin(), packets_.end()};
    }

  private:
    std::deque<std::vector<std::uint8_t>> packets_;
};

}  // namespace ots::sim
