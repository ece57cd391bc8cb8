// The mouse events the driver injected, kept for cectl: the most recent ones in a ring, each
// with a running sequence number, and a wait for new ones. The ring is allocated up front so
// that recording an event allocates nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ce/host/input_sink.h"

namespace ots::host {

inline constexpr int kScreenWidthPx = 800;
inline constexpr int kScreenHeightPx = 600;
// mouse_event's absolute coordinates span the screen in 65536 steps.
inline constexpr double kAbsoluteSpan = 65536.0;

struct LoggedEvent {
    std::uint64_t sequence = 0;
    ce::host::MouseEvent event;

    double XPx() const { return event.dx * kScreenWidthPx / kAbsoluteSpan; }
    double YPx() const { return event.dy * kScreenHeightPx / kAbsoluteSpan; }
    // {"seq":1,"t_ms":12.500,"flags":"0x8002","dx":32768,"dy":32768,"x_px":400.0,"y_px":300.0}
    std::string Json() const;
};

class EventLog {
  public:
    static constexpr std::size_t kDefaultCapacity = 16384;

    explicit EventLog(std::size_t capacity = kDefaultCapacity);
    ~EventLog();  // stops recording
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // The sequence number the next event will get.
    std::uint64_t NextSequence() const;
    // The kept events numbered `from` and later, oldest first.
    std::vector<LoggedEvent> Since(std::uint64_t from) const;
    // The last n kept events (all of them for n = 0), oldest first.
    std::vector<LoggedEvent> Last(std::size_t n) const;
    // Waits until an event numbered `from` or later exists; false on timeout.
    bool WaitFor(std::uint64_t from, std::chrono::milliseconds realTimeout) const;

    void Record(const ce::host::MouseEvent& event);

  private:
    std::vector<LoggedEvent> SinceLocked(std::uint64_t from) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<LoggedEvent> ring_;
    std::uint64_t next_ = 1;  // sequence of the next event; event s sits at (s - 1) % size
    int sinkId_ = 0;
};

}  // namespace ots::host
