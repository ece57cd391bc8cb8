// A stream driver with the prefix OTS whose control codes a test scripts. The device manager
// loads it as it loads the touch-screen driver, so the panel's functions reach it through
// CreateFile and DeviceIoControl exactly as they reach the real one. It records every open,
// close and control call with the instance name ("OTS1:", "OTS2:") and the platform time, and
// answers each code as the test said. Tests reach its one state object through the export
// OTS_ScriptState.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ce/types.h"

namespace script {

enum class Op { Open, Close, IoControl };

struct Event {
    Op op;
    std::wstring device;
    double platformMs = 0.0;
    // IoControl only.
    DWORD code = 0;
    std::vector<BYTE> input;  // the bytes the caller passed (none for a null buffer)
    bool inputNull = true;
    DWORD outputLength = 0;
    bool outputNull = true;
};

inline constexpr int kAlways = -1;

class DriverState {
  public:
    void Reset() {
        std::lock_guard lock(mutex_);
        events_.clear();
        failures_.clear();
        replies_.clear();
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
    std::vector<Event> Events(bool ioOnly = false) const {
        std::lock_guard lock(mutex_);
        std::vector<Event> events;
        for (const Event& event : events_) {
            if (!ioOnly || event.op == Op::IoControl) {
                events.push_back(event);
            }
        }
        return events;
    }
    std::vector<Event> IoCalls() const { return Events(true); }

    // Called by the driver: records the call; whether it succeeds, and the reply it gives.
    bool Answer(Event event, std::vector<BYTE>& reply) {
        std::lock_guard lock(mutex_);
        const DWORD code = event.code;
        const bool io = event.op == Op::IoControl;
        events_.push_back(std::move(event));
        auto failure = failures_.find(code);
        if (io && failure != failures_.end()) {
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
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    std::map<DWORD, std::pair<int, int>> failures_;  // code: (after, times)
    std::map<DWORD, std::vector<BYTE>> replies_;
};

}  // namespace script

extern "C" script::DriverState* OTS_ScriptState();
