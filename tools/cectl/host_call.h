// One command to the device host over its socket, and its answer: the host's output lines and
// its reply, or why there was none.
#pragma once

#include <functional>
#include <string>

#include "cectl/control_request.h"

namespace ots::control {

struct HostAnswer {
    enum class Outcome { Done, Refused, NoHost };
    Outcome outcome = Outcome::NoHost;
    std::string text;  // the reply's text, why the host refused, or why no host answered
};

// Sends the command to the host on socketPath (empty: the default socket); every output frame
// that arrives before the reply is handed to onOutput as it comes.
HostAnswer CallHost(const Command& command, const std::string& socketPath,
                    const std::function<void(const std::string&)>& onOutput);

}  // namespace ots::control
