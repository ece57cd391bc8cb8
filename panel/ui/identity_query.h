// The device identity as the settings and about dialogs read it: they go on without it, so
// a failed read shows "GetDeviceID Failed." and gives zeros.
#pragma once

#include "ce/ui/wnd.h"
#include "protocol/device_identity.h"

ots::DeviceIdentity QueryDeviceIdentity(CWnd& dialog);
