// The mouse input the driver injects, as the tests compare it.
#pragma once

#include <ostream>
#include <vector>

#include "ce/host/input_sink.h"

namespace ots::test {

// One mouse_event call as the tests compare it.
struct Injected {
    DWORD flags;
    DWORD dx;
    DWORD dy;
    bool operator==(const Injected&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Injected& e) {
    return out << "{0x" << std::hex << e.flags << std::dec << ", " << e.dx << ", " << e.dy << "}";
}

inline std::vector<Injected> InjectedEvents(const ce::host::MouseEventRecorder& recorder) {
    std::vector<Injected> events;
    for (const ce::host::MouseEvent& e : recorder.Events()) {
        events.push_back({e.flags, e.dx, e.dy});
    }
    return events;
}

inline constexpr DWORD kMove = 0x8001;
inline constexpr DWORD kDown = 0x8002;
inline constexpr DWORD kUp = 0x8004;
inline constexpr DWORD kMoveDown = 0x8003;

}  // namespace ots::test
