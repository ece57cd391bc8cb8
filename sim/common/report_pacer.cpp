#include "sim/report_pacer.h"

#include <algorithm>
#include <utility>

#include "ce/host/clock.h"

namespace ots::sim {

ReportPacer::ReportPacer(double periodMs, PacketSink sink)
    : periodMs_(periodMs), sink_(std::move(sink)) {}

ReportPacer::~ReportPacer() {
    Stop();
}

void ReportPacer::SetPacing(Pacing pacing) {
    std::lock_guard lock(mutex_);
    pacing_ = pacing;
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
    changed_.notify_all();
}

void ReportPacer::Enqueue(PacedFrame frame) {
    std::lock_guard lock(mutex_);
    frames_.push_back(std::move(frame));
    changed_.notify_all();
}

void ReportPacer::Enqueue(std::vector<PacedFrame> frames) {
    std::lock_guard lock(mutex_);
    for (auto& frame : frames) {
        frames_.push_back(std::move(frame));
    }
    changed_.notify_all();
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
    double nextDueMs = 0.0;  // platform time at which the next frame may go
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !frames_.empty(); });
        if (stopping_) {
            return;
        }
        if (pacing_ == Pacing::ReportRate) {
            // A late or idle device does not catch up in a burst: the period counts from now.
            nextDueMs = std::max(nextDueMs, ce::host::PlatformNowMs());
            while (!stopping_ && ce::host::PlatformNowMs() < nextDueMs) {
                changed_.wait_for(lock,
                                  ce::host::ToRealDuration(nextDueMs - ce::host::PlatformNowMs()));
            }
            if (stopping_) {
                return;
            }
            nextDueMs += periodMs_;
        }
        if (frames_.empty()) {
            continue;
        }
        const PacedFrame frame = std::move(frames_.front());
        frames_.pop_front();
        sending_ = true;
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
