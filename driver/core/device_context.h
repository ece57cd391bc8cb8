// DEVICE_CONTEXT: one per attached controller; the stream driver's device context and open
// context at once. Entry points never receive the pointer itself: they receive the 32-bit
// cookie of the context table (context_table.h) and resolve it before touching the record.
#pragma once

#include <atomic>

#include "ce/kernel.h"
#include "ce/usbd.h"
#include "protocol/driver_config.h"
#include "protocol/screen_config.h"

inline constexpr DWORD DEVICE_SIG = 0x554F5453;  // "STOU"

inline constexpr BYTE DEVICE_FLAG_OPEN = 0x01;     // a client holds the stream device open
inline constexpr BYTE DEVICE_FLAG_CLOSING = 0x02;  // pulled out while open

struct TOUCH_DATA;

struct DEVICE_CONTEXT {
    DWORD dwSig;
    CRITICAL_SECTION csLock;    // guards Flags (writes), lpActivePath, szPortName
    CRITICAL_SECTION csTouch;   // held by ProcessReport for one report, and by control calls and
                                // re-initialisation while they replace records or touch state, so
                                // that no report sees a record half replaced
    CRITICAL_SECTION csVendor;  // held for each vendor command and its reply (and across an
                                // initialisation's sequence), so that two exchanges on one
                                // controller never take each other's replies
    USB_HANDLE hUsbDevice;
    HANDLE hStreamDevice;
    LPCUSB_FUNCS lpUsbFuncs;
    LPCUSB_INTERFACE lpInterface;
    LPCUSB_DEVICE lpDeviceInfo;
    USB_PIPE hInterruptPipe;
    BYTE bEndpointAddress;
    HANDLE hReaderThread;
    HANDLE hAttachDone;       // set once attach no longer touches the context; detach waits for it
    std::atomic<BYTE> Flags;  // written under csLock, read without it
    LPCWSTR lpActivePath;     // points at szActivePath once OTS_Init bound the context
    WCHAR szPortName[32];
    DWORD dwMaxPacketSize;
    ots::DriverConfig DriverConfig;
    ots::ScreenConfig ScreenConfig;
    DWORD fButtonDown;
    // A touch already down when calibration mode began: its lift is no calibration sample.
    DWORD fHeldOverTouch;
    TOUCH_DATA* pTouchData;
    DWORD dwCookie;          // this context's entry in the context table
    WCHAR szActivePath[64];  // our own copy: the device manager's string is not ours to keep
};
