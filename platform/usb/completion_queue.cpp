#include "completion_queue.h"

namespace ce::usb {

namespace {

// Once this many run jobs sit before the waiting ones, they are dropped from the front.
constexpr std::size_t kCompactAfter = 64;

}  // namespace

CompletionQueue::CompletionQueue(std::mutex& mutex, std::condition_variable& changed,
                                 std::function<void(const CompletionJob&)> run)
    : mutex_(mutex), changed_(changed), run_(std::move(run)) {}

void CompletionQueue::Post(const CompletionJob& job) {
    if (!thread_.joinable()) {
        // Started at the first completion and kept for the life of the process.
        thread_ = std::thread([this] { Run(); });
        threadId_ = thread_.get_id();
    }
    jobs_.push_back(job);
    ++posted_;
    wake_.notify_one();
}

void CompletionQueue::Flush(std::unique_lock<std::mutex>& lock) {
    if (OnCompletionThread()) {
        return;
    }
    const std::uint64_t target = posted_;
    changed_.wait(lock, [&] { return done_ >= target; });
}

void CompletionQueue::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return head_ < jobs_.size(); });
        const CompletionJob job = jobs_[head_++];
        if (head_ == jobs_.size()) {
            jobs_.clear();  // keeps its capacity
            head_ = 0;
        } else if (head_ >= kCompactAfter) {
            jobs_.erase(jobs_.begin(), jobs_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
        running_ = true;
        lock.unlock();
        if (job.kind == CompletionJob::Kind::Routine) {
            job.routine(job.parameter);
        } else {
            run_(job);
        }
        lock.lock();
        running_ = false;
        ++done_;
        changed_.notify_all();
    }
}

}  // namespace ce::usb
