// The USB driver interface (USBD) of the stand-in: descriptors, the function table a client
// driver receives at attach, transfer flags and errors, and client registration.
#pragma once

#include "ce/types.h"

struct USB_HANDLE__;
struct USB_PIPE__;
struct USB_TRANSFER__;
using USB_HANDLE = USB_HANDLE__*;
using USB_PIPE = USB_PIPE__*;
using USB_TRANSFER = USB_TRANSFER__*;
using LPBOOL = BOOL*;

// --- descriptors (host-side records, not wire layouts) ------------------------------------
struct USB_DEVICE_DESCRIPTOR {
    BYTE bLength;
    BYTE bDescriptorType;
    WORD bcdUSB;
    BYTE bDeviceClass;
    BYTE bDeviceSubClass;
    BYTE bDeviceProtocol;
    BYTE bMaxPacketSize0;
    WORD idVendor;
    WORD idProduct;
    WORD bcdDevice;
    BYTE iManufacturer;
    BYTE iProduct;
    BYTE iSerialNumber;
    BYTE bNumConfigurations;
};

struct USB_CONFIGURATION_DESCRIPTOR {
    BYTE bLength;
    BYTE bDescriptorType;
    WORD wTotalLength;
    BYTE bNumInterfaces;
    BYTE bConfigurationValue;
    BYTE iConfiguration;
    BYTE bmAttributes;
    BYTE MaxPower;
};

struct USB_INTERFACE_DESCRIPTOR {
    BYTE bLength;
    BYTE bDescriptorType;
    BYTE bInterfaceNumber;
    BYTE bAlternateSetting;
    BYTE bNumEndpoints;
    BYTE bInterfaceClass;
    BYTE bInterfaceSubClass;
    BYTE bInterfaceProtocol;
    BYTE iInterface;
};

struct USB_ENDPOINT_DESCRIPTOR {
    BYTE bLength;
    BYTE bDescriptorType;
    BYTE bEndpointAddress;
    BYTE bmAttributes;
    WORD wMaxPacketSize;
    BYTE bInterval;
};
using LPCUSB_ENDPOINT_DESCRIPTOR = const USB_ENDPOINT_DESCRIPTOR*;

struct USB_ENDPOINT {
    DWORD dwCount;
    USB_ENDPOINT_DESCRIPTOR Descriptor;
    LPCVOID lpvExtended;
};
using LPCUSB_ENDPOINT = const USB_ENDPOINT*;

struct USB_INTERFACE {
    DWORD dwCount;
    USB_INTERFACE_DESCRIPTOR Descriptor;
    LPCVOID lpvExtended;
    LPCUSB_ENDPOINT lpEndpoints;
};
using LPCUSB_INTERFACE = const USB_INTERFACE*;

struct USB_CONFIGURATION {
    DWORD dwCount;
    USB_CONFIGURATION_DESCRIPTOR Descriptor;
    LPCVOID lpvExtended;
    DWORD dwNumInterfaces;
    LPCUSB_INTERFACE lpInterfaces;
};
using LPCUSB_CONFIGURATION = const USB_CONFIGURATION*;

struct USB_DEVICE {
    DWORD dwCount;
    USB_DEVICE_DESCRIPTOR Descriptor;
    LPCUSB_CONFIGURATION lpConfigs;
    LPCUSB_CONFIGURATION lpActiveConfig;
};
using LPCUSB_DEVICE = const USB_DEVICE*;

// The standard 8-byte setup packet of a control transfer.
struct USB_DEVICE_REQUEST {
    BYTE bmRequestType;
    BYTE bRequest;
    WORD wValue;
    WORD wIndex;
    WORD wLength;
};
using LPCUSB_DEVICE_REQUEST = const USB_DEVICE_REQUEST*;

// Matching record of a client driver; dwCount is sizeof(USB_DRIVER_SETTINGS) (40).
struct USB_DRIVER_SETTINGS {
    DWORD dwCount;
    DWORD dwVendorId;
    DWORD dwProductId;
    DWORD dwReleaseNumber;
    DWORD dwDeviceClass;
    DWORD dwDeviceSubClass;
    DWORD dwDeviceProtocol;
    DWORD dwInterfaceClass;
    DWORD dwInterfaceSubClass;
    DWORD dwInterfaceProtocol;
};
using LPCUSB_DRIVER_SETTINGS = const USB_DRIVER_SETTINGS*;
static_assert(sizeof(USB_DRIVER_SETTINGS) == 40);
inline constexpr DWORD USB_NO_INFO = 0xFFFFFFFFu;

// --- transfers --------------------------------------------------------------------------------
using LPTRANSFER_NOTIFY_ROUTINE = DWORD (*)(LPVOID lpvNotifyParameter);
using LPDEVICE_NOTIFY_ROUTINE = BOOL (*)(LPVOID lpvNotifyParameter, DWORD dwCode, LPDWORD* dwInfo1,
                                         LPDWORD* dwInfo2, LPDWORD* dwInfo3, LPDWORD* dwInfo4);

inline constexpr DWORD USB_OUT_TRANSFER = 0x00;
inline constexpr DWORD USB_IN_TRANSFER = 0x80;
inline constexpr DWORD USB_NO_WAIT = 0x100;
inline constexpr DWORD USB_SHORT_TRANSFER_OK = 0x200;
inline constexpr DWORD USB_START_ISOCH_ASAP = 0x400;
inline constexpr DWORD USB_SEND_TO_DEVICE = 0x00;
inline constexpr DWORD USB_SEND_TO_INTERFACE = 0x01;
inline constexpr DWORD USB_SEND_TO_ENDPOINT = 0x02;

// USB errors of a completed transfer (GetTransferStatus).
inline constexpr DWORD USB_NO_ERROR = 0x00;
inline constexpr DWORD USB_CRC_ERROR = 0x01;
inline constexpr DWORD USB_BIT_STUFFING_ERROR = 0x02;
inline constexpr DWORD USB_DATA_TOGGLE_MISMATCH_ERROR = 0x03;
inline constexpr DWORD USB_STALL_ERROR = 0x04;
inline constexpr DWORD USB_DEVICE_NOT_RESPONDING_ERROR = 0x05;
inline constexpr DWORD USB_DATA_OVERRUN_ERROR = 0x08;
inline constexpr DWORD USB_DATA_UNDERRUN_ERROR = 0x09;
inline constexpr DWORD USB_ISOCH_ERROR = 0x100;
inline constexpr DWORD USB_CANCELED_ERROR = 0x101;
inline constexpr DWORD USB_NOT_COMPLETE_ERROR = 0x102;
inline constexpr DWORD USB_CLIENT_BUFFER_ERROR = 0x103;

// Device notification codes.
inline constexpr DWORD USB_CLOSE_DEVICE = 1;

// --- the function table given to USBDeviceAttach ---------------------------------------------
struct USB_FUNCS {
    DWORD dwCount;
    DWORD dwVersion;
    LPCUSB_DEVICE (*lpGetDeviceInfo)(USB_HANDLE hDevice);
    USB_PIPE (*lpOpenPipe)(USB_HANDLE hDevice, LPCUSB_ENDPOINT_DESCRIPTOR lpEndpointDescriptor);
    BOOL (*lpAbortPipeTransfers)(USB_PIPE hPipe, DWORD dwFlags);
    BOOL (*lpClosePipe)(USB_PIPE hPipe);
    BOOL (*lpRegisterNotificationRoutine)(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE lpNotifyRoutine,
                                          LPVOID lpvNotifyParameter);
    BOOL (*lpUnRegisterNotificationRoutine)(USB_HANDLE hDevice,
                                            LPDEVICE_NOTIFY_ROUTINE lpNotifyRoutine,
                                            LPVOID lpvNotifyParameter);
    USB_TRANSFER (*lpIssueInterruptTransfer)(USB_PIPE hPipe, LPTRANSFER_NOTIFY_ROUTINE lpStartAddress,
                                             LPVOID lpvNotifyParameter, DWORD dwFlags,
                                             DWORD dwBufferSize, LPVOID lpvBuffer,
                                             ULONG uBufferPhysicalAddress);
    USB_TRANSFER (*lpIssueVendorTransfer)(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE lpStartAddress,
                                          LPVOID lpvNotifyParameter, DWORD dwFlags,
                                          LPCUSB_DEVICE_REQUEST lpControlHeader, LPVOID lpvBuffer,
                                          ULONG uBufferPhysicalAddress);
    BOOL (*lpGetTransferStatus)(USB_TRANSFER hTransfer, LPDWORD lpdwBytesTransferred,
                                LPDWORD lpdwError);
    BOOL (*lpIsTransferComplete)(USB_TRANSFER hTransfer);
    BOOL (*lpAbortTransfer)(USB_TRANSFER hTransfer, DWORD dwFlags);
    BOOL (*lpCloseTransfer)(USB_TRANSFER hTransfer);
    BOOL (*lpIsPipeHalted)(USB_PIPE hPipe, LPBOOL lpbHalted);
    BOOL (*lpResetPipe)(USB_PIPE hPipe);
};
using LPCUSB_FUNCS = const USB_FUNCS*;

// --- client driver registration (USBD exports) -------------------------------------------------
extern "C" {
BOOL RegisterClientDriverID(LPCWSTR szUniqueDriverId);
BOOL UnRegisterClientDriverID(LPCWSTR szUniqueDriverId);
BOOL RegisterClientSettings(LPCWSTR lpszDriverLibFile, LPCWSTR lpszUniqueDriverId,
                            LPCWSTR szReserved, LPCUSB_DRIVER_SETTINGS lpDriverSettings);
BOOL UnRegisterClientSettings(LPCWSTR lpszUniqueDriverId, LPCWSTR szReserved,
                              LPCUSB_DRIVER_SETTINGS lpDriverSettings);
}

// --- what a client driver library exports to the stack (looked up by name with dlsym) --------
using LPUSB_INSTALL_DRIVER = BOOL (*)(LPCWSTR szDriverLibFile);
using LPUSB_UNINSTALL_DRIVER = BOOL (*)();
using LPUSB_DEVICE_ATTACH = BOOL (*)(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs,
                                     LPCUSB_INTERFACE lpInterface, LPCWSTR szUniqueDriverId,
                                     LPBOOL fAcceptControl, LPCUSB_DRIVER_SETTINGS lpDriverSettings,
                                     DWORD dwUnused);
using LPDLL_MAIN = BOOL (*)(HANDLE hinstDLL, DWORD dwReason, LPVOID lpvReserved);
