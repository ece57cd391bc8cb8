// Where mouse_event goes. Every call reaches each installed sink of the process, in the order the
// sinks were added, on the caller's thread (several threads may inject at once, so a sink guards
// its own state). Without a sink the event is dropped. A sink must not add or remove sinks.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

#include "ce/types.h"

namespace ce::host {

struct MouseEvent {
    DWORD flags = 0;
    DWORD dx = 0;
    DWORD dy = 0;
    double platformMs = 0.0;  // platform clock when mouse_event was called
};

using InputSink = std::function<void(const MouseEvent&)>;

// Installs a sink and returns its id (never 0); RemoveInputSink(id) takes it away again and
// returns only once no call into that sink is running on another thread.
int AddInputSink(InputSink sink);
void RemoveInputSink(int id);

// Keeps every event injected while it lives (tests). Thread-safe. Storage for
// kReservedEvents events is taken up front, so recording does not allocate per event.
class MouseEventRecorder {
  public:
    static constexpr std::size_t kReservedEvents = std::size_t{1} << 16;

    MouseEventRecorder();
    ~MouseEventRecorder();
    MouseEventRecorder(const MouseEventRecorder&) = delete;
    MouseEventRecorder& operator=(const MouseEventRecorder&) = delete;

    std::vector<MouseEvent> Events() const;
    std::size_t Count() const;
    void Clear();
    // Blocks until at least n events have been recorded or the platform interval has passed
    // (platform clock, ce/host/clock.h). Returns whether n events were reached.
    bool WaitForCount(std::size_t n, double platformTimeoutMs) const;

  private:
    void Record(const MouseEvent& event);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<MouseEvent> events_;
    mutable int waiters_ = 0;  // threads in WaitForCount: only they need a notification
    int id_ = 0;
};

// Writes one JSON line per event while it lives:
// {"t_ms":12.500,"flags":"0x8001","dx":16384,"dy":16384}
// to the given stream (stdout when null). The stream stays the caller's; each line is flushed.
class MouseEventTrace {
  public:
    explicit MouseEventTrace(std::FILE* out = nullptr);
    ~MouseEventTrace();
    MouseEventTrace(const MouseEventTrace&) = delete;
    MouseEventTrace& operator=(const MouseEventTrace&) = delete;

  private:
    std::FILE* out_;
    int id_ = 0;
};

}  // namespace ce::host
