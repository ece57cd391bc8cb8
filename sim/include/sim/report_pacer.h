// Sends a device's reports on its own thread: one frame per report period on the platform
// clock, or each frame as soon as the host has taken the one before.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "ce/types.h"

namespace ots::sim {

enum class Pacing {
    ReportRate,     // one frame per period
    AsFastAsTaken,  // the next frame once the host has consumed the last one
};

// The packets sent at the start of one report period; none for a quiet period.
using PacedFrame = std::vector<std::vector<std::uint8_t>>;

struct PacketSink {
    // Sends one packet; false once the device has left the bus.
    std::function<bool(std::span<const std::uint8_t>)> send;
    // AsFastAsTaken: waits until the host has consumed everything sent.
    std::function<bool()> waitTaken;
};

class ReportPacer {
  public:
    ReportPacer(double periodMs, PacketSink sink);
    ~ReportPacer();
    ReportPacer(const ReportPacer&) = delete;
    ReportPacer& operator=(const ReportPacer&) = delete;

    void SetPacing(Pacing pacing);
    Pacing GetPacing() const;

    // Starts sending (the device is on the bus). Frames queued before wait for it.
    void Start();
    // Stops sending, drops the frames still queued and waits for the thread.
    void Stop();

    void Enqueue(PacedFrame frame);
    void Enqueue(std::vector<PacedFrame> frames);

    // True once every queued frame has been sent (and, pacing as fast as taken, taken) or
    // dropped by Stop; false on timeout.
    bool WaitDrained(DWORD platformTimeoutMs);
    std::size_t PacketsSent() const;
    bool WaitPacketsSent(std::size_t count, DWORD platformTimeoutMs);

  private:
    void Run();
    bool DrainedLocked() const { return frames_.empty() && !sending_; }

    const double periodMs_;
    const PacketSink sink_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PacedFrame> frames_;
    Pacing pacing_ = Pacing::ReportRate;
    bool running_ = false;
    bool stopping_ = false;
    bool sending_ = false;
    std::size_t packetsSent_ = 0;
    std::thread thread_;
};

}  // namespace ots::sim
