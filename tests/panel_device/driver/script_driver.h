// A stream driver with the prefix OTS whose control codes a test scripts. The device manager
// loads it as it loads the touch-screen driver, so the panel's functions reach it through
// CreateFile and DeviceIoControl exactly as they reach the real one. It records every open,
// close and control call with the instance's context (1 for the first activated, and so on)
// and the platform time, and answers each code as the test said. Tests reach its one state object
// through the export OTS_ScriptState.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ce/types.h"

namespace script {

enum class Op { Open, Close, IoControl };

struct Event {
    Op op;
    DWORD context = 0;
    double platformMs = 0.0;
    // IoControl only; nullopt for a null buffer.
    DWORD code = 0;
    std::optional<std::vector<BYTE>> input;
    std::optional<DWORD> outputLength;
};

inline constexpr int kAlways = -1;

class DriverState {
  public:
    // Forgets the calls, failures and replies; instances activated after it get contexts
    // from 1 again.
    void Reset() {
        std::lock_guard lock(mutex_);
        contexts_ = 0;
        events_.clear();
        failures_.clear();
        replies_.clear();
        held_ = 0;
        released_.notify_all();
    }
    // After `after` more calls of the code have succeeded, the next `times` calls of it
    // return FALSE (kAlways: every one).
    void FailCode(DWORD code, int times = kAlways, int after = 0) {
        std::lock_guard lock(mutex_);
        failures_[code] = {after, times};
    }
    // What a successful call of the code writes into its output buffer (as much as fits).
    void SetReply(DWORD code, std::vector<BYTE> bytes) {
        std::lock_guard lock(mutex_);
        replies_[code] = std::move(bytes);
    }
    // Calls of the code wait, once recorded, until ReleaseHeld (a driver that stops answering).
    void HoldCode(DWORD code) {
        std::lock_guard lock(mutex_);
        held_ = code;
    }
    void ReleaseHeld() {
        std::lock_guard lock(mutex_);
        held_ = 0;
        released_.notify_all();
    }
    // Called by the driver for each instance: its context.
    DWORD AddContext() {
        std::lock_guard lock(mutex_);
        return ++contexts_;
    }
    // The calls seen since the last time, oldest first.
    std::vector<Event> TakeEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

    // Called by the driver: records the call; whether it succeeds, and the reply it gives.
    // Opens and closes carry code 0, which no test fails.
    bool Answer(Event event, std::vector<BYTE>& reply) {
        std::unique_lock lock(mutex_);
        const DWORD code = event.code;
        events_.push_back(std::move(event));
        released_.wait(lock, [&] { return code == 0 || code != held_; });
        auto failure = failures_.find(code);
        if (failure != failures_.end()) {
            auto& [after, times] = failure->second;
            if (after > 0) {
                --after;
            } else if (times != 0) {
                times -= times > 0 ? 1 : 0;
                return false;
            }
        }
        auto found = replies_.find(code);
        reply = found != replies_.end() ? found->second : std::vector<BYTE>{};
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    DWORD held_ = 0;
    DWORD contexts_ = 0;
    std::vector<Event> events_;
    std::map<DWORD, std::pair<int, int>> failures_;  // code: (after, times)
    std::map<DWORD, std::vector<BYTE>> replies_;
};

}  // namespace script

extern "C" script::DriverState* OTS_ScriptState();
