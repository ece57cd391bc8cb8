// The folder of the device host's socket.
#pragma once

#include <string>

namespace ce::devmgr {

// Makes the socket's folder (each missing level with mode 0700). An existing folder must be a
// folder of the calling user. False with *error naming the path and the cause.
bool PrepareSocketFolder(const std::string& socketPath, std::string* error);

}  // namespace ce::devmgr
