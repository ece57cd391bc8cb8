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
        failures_[code] = Failure{after, times};
    }

    // What a successful call of the code writes into its output buffer (as much as fits).
    void SetReply(DWORD code, std::vector<BYTE> bytes) {
        std::lock_guard lock(mutex_);
        replies_[code] = std::move(bytes);
    }

    std::vector<Event> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

    std::vector<Event> IoCalls() const {
        std::vector<Event> calls;
        for (Event& event : Events()) {
            if (event.op == Op::IoControl) {
                calls.push_back(std::move(event));
            }
        }
        return calls;
    }

    // --- called by the driver ---
    void Record(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }

    // Whether the call succeeds; fills the reply it gives.
    bool Answer(DWORD code, std::vector<BYTE>& reply) {
        std::lock_guard lock(mutex_);
        auto found_failure = failures_.find(code);
        if (found_failure != failures_.end()) {
            Failure& failure = found_failure->second;
            if (failure.after > 0) {
                --failure.after;
            } else if (failure.times != 0) {
                if (failure.times > 0) {
                    --failure.times;
                }
                return false;
            }
        }
        auto found = replies_.find(code);
        reply = found != replies_.end() ? found->second : std::vector<BYTE>{};
        return true;
    }

  private:
    struct Failure {
        int after;
        int times;
    };

    mutable std::mutex mutex_;
    std::vector<Event> events_;
    std::map<DWORD, Failure> failures_;
    std::map<DWORD, std::vector<BYTE>> replies_;
};

}  // namespace script

extern "C" script::DriverState* OTS_ScriptState();
