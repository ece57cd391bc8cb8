// Admits calls into a driver until it is closed, and lets the closer wait for the calls that
// were admitted before.
#pragma once

#include <condition_variable>
#include <mutex>

namespace ce::devmgr {

class CallGate {
  public:
    // Holds a place in the gate for one call; empty when the gate was already closed.
    class Pass {
      public:
        explicit Pass(CallGate* gate) : gate_(gate) {}
        ~Pass() {
            if (gate_ != nullptr) {
                gate_->Leave();
            }
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return gate_ != nullptr; }

      private:
        CallGate* gate_;
    };

    Pass Enter() {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return Pass(nullptr);
        }
        ++callsInProgress_;
        return Pass(this);
    }

    // Refuses every later Enter.
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }

    // Closes the gate and returns once the admitted calls have left.
    void CloseAndDrain() {
        std::unique_lock lock(mutex_);
        closed_ = true;
        idle_.wait(lock, [this] { return callsInProgress_ == 0; });
    }

  private:
    void Leave() {
        std::lock_guard lock(mutex_);
        if (--callsInProgress_ == 0) {
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    unsigned callsInProgress_ = 0;
    bool closed_ = false;
};

}  // namespace ce::devmgr
