// What cehost sets up before it serves: the state folder, the platform configuration and the
// driver. Each step says in *error what went wrong, naming the path.
#pragma once

#include <string>

namespace ots::host {

// $XDG_STATE_HOME/ots, else $HOME/.local/state/ots.
std::string DefaultStateDir();

// Makes the folder (missing levels 0700) and proves it writable by creating a file in it.
bool PrepareStateDir(const std::string& dir, std::string* error);

// The configuration file: the given one, else platform.reg beside the program, else the source
// tree's config/platform.reg. Empty when none exists.
std::string FindPlatformConfig(const std::string& given);

// The folder of the running program.
std::string ProgramDir();

// The driver library named by the device key's "Dll" value, loaded (it stays loaded) and
// installed with its USBInstallDriver under that name.
bool InstallDriver(std::string* error);

}  // namespace ots::host
