// What a touch command tells its user: where the finger really was (the simulation's ground
// truth) against where the driver put the pointer.
#pragma once

#include <string>
#include <vector>

#include "cectl/control_request.h"
#include "event_log.h"

namespace ots::host {

// Two lines: the finger's first and last position, then the events injected meanwhile with
// the positions of the first left-down and the last left-up and their distance from the
// finger at that moment.
std::string DescribeTouch(const std::vector<ots::control::Point>& finger,
                          const std::vector<LoggedEvent>& injected);

}  // namespace ots::host
