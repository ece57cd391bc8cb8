// The control panel's only way to the driver. Each function opens the stream device, performs
// one operation and closes the device before it returns, since the driver admits one open
// handle at a time: a caller must not hold its own handle while calling them. TRUE means
// success; failures are written to the debug output and never shown.
//
// Functions taking an identity (the record GetDeviceID returns; null counts as an unknown
// controller) reach the camera controller (0x7E21/0x0C20) with vendor commands, since its
// settings live in the controller, the 0x0012 controller as "OTS2:" and every other one as
// "OTS1:". Arguments named dwReserved are accepted and ignored. A null record is refused with
// FALSE before anything is opened.
#pragma once

#include "ce/types.h"
#include "device/vendor_command_request.h"
#include "device/vendor_exchange.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"

// The device configuration. From the camera controller a DeviceID of 0xFF (none assigned yet)
// reads as 0; the record is written only when it was read.
BOOL GetDeviceConfig(ots::DeviceConfig* pConfig, DWORD dwReserved,
                     const ots::DeviceIdentity* pIdentity);
BOOL SetDeviceConfig(const ots::DeviceConfig* pConfig, DWORD dwReserved,
                     const ots::DeviceIdentity* pIdentity);

// Stores both calibration polynomials; they take effect at the next OptUSBReinitOptcore. On a
// driver device the y record is sent only once the x record was taken.
BOOL SetCalibratePara(ots::CalibPara calibX, ots::CalibPara calibY, DWORD dwReserved,
                      const ots::DeviceIdentity* pIdentity);

// The driver's settings, on "OTS1:".
BOOL SetDriverConfig(const ots::DriverConfig* pConfig);
BOOL GetDriverConfig(ots::DriverConfig* pConfig, DWORD dwReserved);

// The camera controller's 58-byte PanelParams block (panel width and height at bytes 2 and 6).
// Any other controller has none: the block is zero-filled and the device is not touched. A
// failed read leaves the block as it was and fails, so that no caller stores an unread block.
BOOL GetScreenProperty(VendorBlock* pPanelParams, DWORD dwReserved,
                       const ots::DeviceIdentity* pIdentity);

// The camera controller's firmware version block, copied for the about dialog to read; as with
// GetScreenProperty a failed read leaves it as it was and fails.
BOOL GetVersion(DWORD dwDevice, VendorBlock* pVersion, DWORD dwReserved1, DWORD dwReserved2);

// Asks the driver to initialise its sensor processing again, which puts a newly stored
// calibration in force.
BOOL OptUSBReinitOptcore();

// The identity of the controller on "OTS1:". A failed open is not reported.
BOOL GetDeviceID(ots::DeviceIdentity* pIdentity);
