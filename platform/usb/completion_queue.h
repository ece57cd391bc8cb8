// The stack's completion thread: runs completion routines (and asynchronous control
// transfers) one at a time, in the order they were posted, never inside a client's call.
// Jobs are plain records in a reused buffer, so posting costs no allocation once the queue
// has been as long as it gets.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ce/usbd.h"

namespace ce::usb {

struct CompletionJob {
    enum class Kind { Routine, Control, DataOut };
    Kind kind = Kind::Routine;
    LPTRANSFER_NOTIFY_ROUTINE routine = nullptr;  // Routine: call routine(parameter)
    LPVOID parameter = nullptr;
    std::uint64_t transfer = 0;  // Control, DataOut: the transfer to run
    USB_DEVICE_REQUEST setup{};  // Control
};

class CompletionQueue {
  public:
    // Shares the stack's lock and its change signal, so that waits on the stack's state see
    // the queue's state under one lock. `run` carries out Control and DataOut jobs.
    CompletionQueue(std::mutex& mutex, std::condition_variable& changed,
                    std::function<void(const CompletionJob&)> run);
    CompletionQueue(const CompletionQueue&) = delete;
    CompletionQueue& operator=(const CompletionQueue&) = delete;

    // All of these are called with the shared lock held.
    void Post(const CompletionJob& job);
    bool Idle() const { return head_ == jobs_.size() && !running_; }
    // Waits until every job posted so far has run; does nothing on the completion thread
    // itself (its own jobs run after it returns).
    void Flush(std::unique_lock<std::mutex>& lock);

    bool OnCompletionThread() const { return std::this_thread::get_id() == threadId_; }

  private:
    void Run();

    std::mutex& mutex_;
    std::condition_variable& changed_;
    const std::function<void(const CompletionJob&)> run_;
    std::condition_variable wake_;
    std::vector<CompletionJob> jobs_;  // jobs_[head_..] wait to run
    std::size_t head_ = 0;
    bool running_ = false;
    std::uint64_t posted_ = 0;
    std::uint64_t done_ = 0;
    std::thread thread_;
    std::thread::id threadId_;
};

}  // namespace ce::usb
