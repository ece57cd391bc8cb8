// Sends a device's reports on its own thread: frame n of a stream at start + n periods on the
// platform clock, or each frame as soon as the host has taken the one before.
//
// At the report rate a frame gets its slot when it is queued: the slot after the frame queued
// before it, or the first slot from now when the device had nothing queued (it runs on its own
// clock and idles between touches). A frame renders ahead of its slot, on the sending thread,
// so a long script is queued at once and rendering never holds the sending back; a frame that
// leaves late (the host stalled, a render overran its period) is late alone, the frames after
// it keep their slots.
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
// Makes a frame's packets; called on the sending thread, in queue order, ahead of its slot.
using FrameRender = std::function<PacedFrame()>;

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

    double PeriodMs() const { return periodMs_; }
    void SetPacing(Pacing pacing);
    Pacing GetPacing() const;

    // Starts sending (the device is on the bus). Frames queued before wait for it.
    void Start();
    // Stops sending, drops the frames still queued and waits for the thread.
    void Stop();

    // Each returns the platform time of the first queued frame's slot (at the report rate; as
    // fast as taken, the time it was queued).
    double Enqueue(PacedFrame frame);
    double Enqueue(std::vector<PacedFrame> frames);
    double Enqueue(std::vector<FrameRender> frames);

    // True once every queued frame has been sent (and, pacing as fast as taken, taken) or
    // dropped by Stop; false on timeout.
    bool WaitDrained(DWORD platformTimeoutMs);
    std::size_t PacketsSent() const;
    bool WaitPacketsSent(std::size_t count, DWORD platformTimeoutMs);

  private:
    struct Queued {
        double slotMs;
        FrameRender render;
    };

    void Run();
    double NextSlotLocked(double nowMs) const;
    void ReslotLocked();
    bool DrainedLocked() const { return frames_.empty() && !sending_; }

    const double periodMs_;
    const PacketSink sink_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> frames_;
    double lastSlotMs_;  // the slot of the frame queued last
    Pacing pacing_ = Pacing::ReportRate;
    bool running_ = false;
    bool stopping_ = false;
    bool sending_ = false;
    std::size_t packetsSent_ = 0;
    std::thread thread_;
};

}  // namespace ots::sim
