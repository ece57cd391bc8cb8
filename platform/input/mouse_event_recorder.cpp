// The recorder that tests read injected events from.
#include "ce/host/clock.h"
#include "ce/host/input_sink.h"

namespace ce::host {

MouseEventRecorder::MouseEventRecorder() {
    events_.reserve(kReservedEvents);
    id_ = AddInputSink([this](const MouseEvent& event) { Record(event); });
}

MouseEventRecorder::~MouseEventRecorder() {
    RemoveInputSink(id_);
}

void MouseEventRecorder::Record(const MouseEvent& event) {
    bool waited;
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        waited = waiters_ != 0;
    }
    if (waited) {
        changed_.notify_all();
    }
}

std::vector<MouseEvent> MouseEventRecorder::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::size_t MouseEventRecorder::Count() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}

void MouseEventRecorder::Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();  // keeps the reserved capacity
}

bool MouseEventRecorder::WaitForCount(std::size_t n, double platformTimeoutMs) const {
    std::unique_lock lock(mutex_);
    ++waiters_;
    const bool reached = changed_.wait_for(lock, ToRealDuration(platformTimeoutMs),
                                           [&] { return events_.size() >= n; });
    --waiters_;
    return reached;
}

}  // namespace ce::host
