// The port table "OtsUSB\Ports": one value "Port1".."Port9" per controller, holding the stream
// device name that claimed it.
#pragma once

#include "ce/types.h"
#include "core/device_context.h"

// Claims a port for the stream instance whose active key is lpActivePath. A value that already
// names this device is reused (and szPortName stays empty, so it is kept at deinit); otherwise
// the first missing value is written and its name kept in szPortName. Called under csLock.
bool ClaimPort(DEVICE_CONTEXT* pDevice, LPCWSTR lpActivePath);

// Deletes the value named by szPortName and clears it; true when a value was deleted. Called
// under csLock.
bool ReleasePort(DEVICE_CONTEXT* pDevice);
