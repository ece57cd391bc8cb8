#include "sim/report_pacer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "ce/host/clock.h"

namespace ots::sim {

ReportPacer::ReportPacer(double periodMs, PacketSink sink)
    : periodMs_(periodMs),
      sink_(std::move(sink)),
      lastSlotMs_(-std::numeric_limits<double>::infinity()) {}

ReportPacer::~ReportPacer() {
    Stop();
}

void ReportPacer::SetPacing(Pacing pacing) {
    std::lock_guard lock(mutex_);
    const bool toReportRate = pacing == Pacing::ReportRate && pacing_ != pacing;
    pacing_ = pacing;
    if (toReportRate) {
        ReslotLocked();  // what was queued meanwhile starts now
    }
    changed_.notify_all();
}

Pacing ReportPacer::GetPacing() const {
    std::lock_guard lock(mutex_);
    return pacing_;
}

void ReportPacer::Start() {
    std::lock_guard lock(mutex_);
    if (running_) {
        return;
    }
    running_ = true;
    stopping_ = false;
    ReslotLocked();  // what was queued before the device was on the bus starts now
    thread_ = std::thread([this] { Run(); });
}

void ReportPacer::Stop() {
    {
        std::lock_guard lock(mutex_);
        frames_.clear();
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    running_ = false;
    stopping_ = false;
    sending_ = false;
    changed_.notify_all();
}

// The device's cameras run on their own clock: slots lie on its grid of periods. A stream
// goes on in the slot after its last frame, however late that frame leaves; after an idle
// spell the next frame takes the first slot to come.
double ReportPacer::NextSlotLocked(double nowMs) const {
    const double following = lastSlotMs_ + periodMs_;
    if (!frames_.empty() || sending_) {
        return following;
    }
    return std::max(following, std::ceil(nowMs / periodMs_) * periodMs_);
}

void ReportPacer::ReslotLocked() {
    lastSlotMs_ = -std::numeric_limits<double>::infinity();
    const double first = std::ceil(ce::host::PlatformNowMs() / periodMs_) * periodMs_;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        frames_[i].slotMs = first + static_cast<double>(i) * periodMs_;
        lastSlotMs_ = frames_[i].slotMs;
    }
}

double ReportPacer::Enqueue(PacedFrame frame) {
    std::vector<PacedFrame> one;
    one.push_back(std::move(frame));
    return Enqueue(std::move(one));
}

double ReportPacer::Enqueue(std::vector<PacedFrame> frames) {
    std::vector<FrameRender> ready;
    ready.reserve(frames.size());
    for (PacedFrame& frame : frames) {
        ready.emplace_back([frame = std::move(frame)] { return frame; });
    }
    return Enqueue(std::move(ready));
}

double ReportPacer::Enqueue(std::vector<FrameRender> frames) {
    std::lock_guard lock(mutex_);
    const double nowMs = ce::host::PlatformNowMs();
    if (pacing_ == Pacing::AsFastAsTaken) {
        for (auto& render : frames) {
            frames_.push_back({nowMs, std::move(render)});
        }
        changed_.notify_all();
        return nowMs;
    }
    const double first = NextSlotLocked(nowMs);
    for (auto& render : frames) {
        lastSlotMs_ = NextSlotLocked(nowMs);
        frames_.push_back({lastSlotMs_, std::move(render)});
    }
    changed_.notify_all();
    return first;
}

bool ReportPacer::WaitDrained(DWORD platformTimeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, ce::host::ToRealDuration(platformTimeoutMs),
                             [&] { return DrainedLocked(); });
}

std::size_t ReportPacer::PacketsSent() const {
    std::lock_guard lock(mutex_);
    return packetsSent_;
}

bool ReportPacer::WaitPacketsSent(std::size_t count, DWORD platformTimeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, ce::host::ToRealDuration(platformTimeoutMs),
                             [&] { return packetsSent_ >= count; });
}

void ReportPacer::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !frames_.empty(); });
        if (stopping_) {
            return;
        }
        Queued next = std::move(frames_.front());
        frames_.pop_front();
        sending_ = true;
        // Rendered while its slot is still to come; the queue stays open meanwhile.
        lock.unlock();
        const PacedFrame frame = next.render();
        lock.lock();
        while (!stopping_ && pacing_ == Pacing::ReportRate &&
               ce::host::PlatformNowMs() < next.slotMs) {
            changed_.wait_for(lock,
                              ce::host::ToRealDuration(next.slotMs - ce::host::PlatformNowMs()));
        }
        if (stopping_) {
            return;
        }
        lock.unlock();
        std::size_t sent = 0;
        bool gone = false;
        for (const auto& packet : frame) {
            if (!sink_.send(packet)) {
                gone = true;
                break;
            }
            ++sent;
        }
        lock.lock();
        packetsSent_ += sent;
        if (gone) {
            frames_.clear();  // the device has left the bus: the rest of the script is moot
        }
        changed_.notify_all();
        if (pacing_ == Pacing::AsFastAsTaken && sent > 0 && sink_.waitTaken) {
            lock.unlock();
            sink_.waitTaken();
            lock.lock();
        }
        sending_ = false;  // a frame counts as sent once the host had its chance to take it
        changed_.notify_all();
    }
}

}  // namespace ots::sim
