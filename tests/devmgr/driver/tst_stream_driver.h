// The test stream driver (prefix TST, and TSB for a second prefix): what it records of each
// call, and the switches a test sets. Tests reach its one state object through TST_State.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ce/types.h"

namespace tst {

// IOControl codes the test driver serves.
inline constexpr DWORD kEchoCode = 1;   // copies the input to the output, sets the actual length
inline constexpr DWORD kFailCode = 2;   // returns FALSE
inline constexpr DWORD kBlockCode = 3;  // returns only once ReleaseBlockedCalls was called

enum class Op { Init, Deinit, Open, Close, IoControlBegin, IoControlEnd };

struct Call {
    Op op;
    DWORD context = 0;   // the device or open context received
    DWORD returned = 0;  // Init and Open: the context returned
    // Init: its arguments and what the active key held when Init ran.
    std::wstring activeKey{};
    LPCVOID busContext = nullptr;
    std::optional<std::wstring> name{};
    std::optional<DWORD> clientInfo{};
    DWORD access = 0, share = 0;  // Open
    DWORD code = 0;               // IOControl
};

class DriverState {
  public:
    // Switches, read at each call: Init refuses with this last error; Open refuses when nonzero.
    std::optional<DWORD> initRefusal;
    DWORD openError = ERROR_SUCCESS;

    void Reset() {
        std::lock_guard lock(mutex_);
        initRefusal.reset();
        openError = ERROR_SUCCESS;
        calls_.clear();
        blocked_ = 0;
        released_ = false;
    }
    void Record(Call call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<Call> Calls(std::optional<Op> op = std::nullopt) const {
        std::lock_guard lock(mutex_);
        std::vector<Call> found;
        for (const Call& call : calls_) {
            if (!op || call.op == *op) {
                found.push_back(call);
            }
        }
        return found;
    }
    // Called by the driver inside a kBlockCode call.
    void Block() {
        std::unique_lock lock(mutex_);
        ++blocked_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    // Waits (real time; generous, for a loaded machine) until a call is blocked.
    bool WaitUntilBlocked() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return blocked_ > 0; });
    }
    void ReleaseBlockedCalls() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
    int blocked_ = 0;
    bool released_ = false;
};

}  // namespace tst

extern "C" tst::DriverState* TST_State();
