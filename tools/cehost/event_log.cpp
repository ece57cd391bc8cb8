#include "event_log.h"

#include <algorithm>
#include <cstdio>

namespace ots::host {

std::string LoggedEvent::Json() const {
    char line[192];
    std::snprintf(line, sizeof(line),
                  "{\"seq\":%llu,\"t_ms\":%.3f,\"flags\":\"0x%04X\",\"dx\":%u,\"dy\":%u,"
                  "\"x_px\":%.1f,\"y_px\":%.1f}",
                  static_cast<unsigned long long>(sequence), event.platformMs, event.flags,
                  event.dx, event.dy, XPx(), YPx());
    return line;
}

EventLog::EventLog(std::size_t capacity) : ring_(std::max<std::size_t>(capacity, 1)) {
    sinkId_ = ce::host::AddInputSink([this](const ce::host::MouseEvent& event) { Record(event); });
}

EventLog::~EventLog() {
    ce::host::RemoveInputSink(sinkId_);
}

void EventLog::Record(const ce::host::MouseEvent& event) {
    {
        std::lock_guard lock(mutex_);
        ring_[(next_ - 1) % ring_.size()] = {next_, event};
        ++next_;
    }
    added_.notify_all();
}

std::uint64_t EventLog::NextSequence() const {
    std::lock_guard lock(mutex_);
    return next_;
}

std::vector<LoggedEvent> EventLog::SinceLocked(std::uint64_t from) const {
    const std::uint64_t oldestKept = next_ > ring_.size() ? next_ - ring_.size() : 1;
    std::vector<LoggedEvent> events;
    for (std::uint64_t s = std::max(from, oldestKept); s < next_; ++s) {
        events.push_back(ring_[(s - 1) % ring_.size()]);
    }
    return events;
}

std::vector<LoggedEvent> EventLog::Since(std::uint64_t from) const {
    std::lock_guard lock(mutex_);
    return SinceLocked(from);
}

std::vector<LoggedEvent> EventLog::Last(std::size_t n) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t from = n == 0 || n >= next_ ? 1 : next_ - n;
    return SinceLocked(from);
}

bool EventLog::WaitFor(std::uint64_t from, std::chrono::milliseconds realTimeout) const {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, realTimeout, [&] { return next_ > from; });
}

}  // namespace ots::host
