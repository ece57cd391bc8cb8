// Delivery of formatted debug text to the sinks, line by line.
#pragma once

#include <string_view>

#include "ce/host/debug_sink.h"

namespace ce::kernel {

// Splits text at '\n' and hands every line to the sinks, or, with none installed, to the log
// file or the console. A last line without '\n' is delivered as well; empty text is nothing.
void EmitDebugText(host::DebugChannel channel, std::string_view text);

}  // namespace ce::kernel
