// The trace sink: one JSON line per injected event.
#include <cstdio>

#include "ce/host/input_sink.h"

namespace ce::host {

MouseEventTrace::MouseEventTrace(std::FILE* out) : out_(out != nullptr ? out : stdout) {
    id_ = AddInputSink([out = out_](const MouseEvent& event) {
        std::fprintf(out, "{\"t_ms\":%.3f,\"flags\":\"0x%04X\",\"dx\":%u,\"dy\":%u}\n",
                     event.platformMs, event.flags, event.dx, event.dy);
        std::fflush(out);
    });
}

MouseEventTrace::~MouseEventTrace() {
    RemoveInputSink(id_);
}

}  // namespace ce::host
