// Sensor initialisation and the vendor command exchange.
#pragma once

#include "ce/types.h"
#include "core/device_context.h"

inline constexpr DWORD kVendorCommandFailed = 0xC0000001u;  // negative as a status

// One command exchange with up to 5 attempts; 0 or kVendorCommandFailed. The 64-byte response
// is copied to pResponse only when it was accepted.
DWORD SendVendorCommand(DEVICE_CONTEXT* pDevice, const BYTE* pCommand, DWORD cbCommand,
                        BYTE* pResponse);

DWORD InitCoordinateController(DEVICE_CONTEXT* pDevice);
DWORD InitCameraController(DEVICE_CONTEXT* pDevice);
DWORD ReinitCameraController(DEVICE_CONTEXT* pDevice);
