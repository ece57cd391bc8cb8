// The host side of the device manager: what tools and tests see of the active stream devices,
// and where driver libraries are found.
//
// Activation (ce/devmgr.h) reads "Dll" and "Prefix" (REG_SZ) from the device key. The prefix is
// three characters; the instance is named prefix + the first free index 1..9 + ':' ("OTS1:").
// Its active key is "Drivers\Active\NN" (NN a running number of two or more digits) with "Name",
// "Key" and, from ActivateDevice, "ClientInfo". Active keys describe the devices of this process
// only: whenever a device is activated while none is active, whatever a saved registry still
// holds under "Drivers\Active" is removed first.
//
// Errors of ActivateDevice (null result): ERROR_INVALID_PARAMETER for a null key, a prefix that
// is not three characters, or registry entries passed to ActivateDeviceEx (there is no REGINI
// here); ERROR_FILE_NOT_FOUND for a missing key, "Dll" or "Prefix", or a library that does not
// load; ERROR_NOT_SUPPORTED when the library lacks one of <Prefix>_Init, _Deinit, _Open, _Close
// and _IOControl; ERROR_ALREADY_EXISTS when all nine names of the prefix are taken; the driver's
// own last error (ERROR_GEN_FAILURE when it set none) when <Prefix>_Init returns 0.
//
// DeactivateDevice stops new calls into the driver, waits for those in progress on other
// threads, then calls <Prefix>_Deinit. Handles opened before fail from then on: DeviceIoControl
// gives FALSE with ERROR_INVALID_HANDLE, and CloseHandle succeeds without calling <Prefix>_Close.
#pragma once

#include <string>
#include <vector>

namespace ce::host {

struct ActiveDevice {
    std::wstring name;       // "OTS1:"
    std::wstring deviceKey;  // "Drivers\USB\ClientDrivers\OtsUSB_Class"
    std::wstring activeKey;  // "Drivers\Active\01"
    std::string library;     // the file that was loaded
};

// The devices whose Init succeeded and that are not being deactivated, ordered by name.
std::vector<ActiveDevice> ListActiveDevices();

// The driver search path is the USB stack's (ce/host/usb_host.h): one folder for every driver
// library the platform loads, by default the folder of the running program.
void SetDriverSearchPath(const std::string& dir);
std::string DriverSearchPath();

// The file a library name stands for: an absolute path as it stands, any other name below the
// driver search path (as the USB stack resolves its "DLL" values).
std::string ResolveDriverLibrary(const std::string& fileName);

}  // namespace ce::host
