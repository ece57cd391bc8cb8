// Loading client driver libraries: once each, kept loaded for the life of the process.
#pragma once

#include <string>

#include "ce/usbd.h"

namespace ce::usb {

// The library's USBDeviceAttach, loading it first (and calling its DllMain with
// DLL_PROCESS_ATTACH) when this is its first use. Null when the library cannot be loaded or
// exports no USBDeviceAttach; the reason goes to the debug output.
LPUSB_DEVICE_ATTACH LoadClientDriver(const std::wstring& dll);

}  // namespace ce::usb
