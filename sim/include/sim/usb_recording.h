// A controller's USB traffic as a readable text: what a recording device writes and a replay
// device answers from. Version 1:
//
//   # otsusb usb recording 1
//   D device 12011001 ffffff40 ...     descriptors in their wire form, hex bytes:
//   D config 09022000 ...              the device descriptor; the configuration descriptor
//                                      with each interface and its endpoints
//   then one event per line, timestamps in platform ms from the start of the recording:
//   12.500 S Ci:00 s c0 01 0000 0000 0040 0          a control request: bmRequestType
//   12.600 C Ci:00 0 58 = 0601aabb ...              bRequest wValue wIndex wLength (hex),
//   13.000 S Co:00 s 40 02 0000 0000 0008 8 = ...    then the data sent; its completion:
//   13.010 C Co:00 0 8                               status, length, the data received
//   20.000 C Ii:81 0 64 = 02000000 ...              a packet on an interrupt IN endpoint
//   21.000 C Ii:81 4 0                               the endpoint stalled
//   30.125 E 8002 32768 16384                        a mouse event the driver injected
//                                                    (flags hex, dx, dy): what a replay
//                                                    must give again
// Data is hex in groups of four bytes, as usbmon shows it. Status is the platform's USB error
// code (0 done, 4 stall). Lines starting with '#' and blank lines are comments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ce/host/usb_host.h"

namespace ots::sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr const char* kRecordingHeader = "# otsusb usb recording 1";

struct RecordedControl {
    USB_DEVICE_REQUEST setup{};
    Bytes sent;             // the data stage of a host-to-device request
    DWORD usbError = 0;     // the completion's status
    DWORD transferred = 0;  // the completion's length
    Bytes received;         // device-to-host: what the device answered
};

struct RecordedPacket {
    BYTE endpoint = 0;
    DWORD usbError = 0;  // USB_STALL_ERROR: the endpoint stalled instead
    Bytes data;
};

struct RecordedMouseEvent {
    DWORD flags = 0;
    DWORD dx = 0;
    DWORD dy = 0;
    bool operator==(const RecordedMouseEvent&) const = default;
};

struct RecordedEvent {
    double platformMs = 0.0;
    std::variant<RecordedControl, RecordedPacket, RecordedMouseEvent> what;
};

struct UsbRecording {
    USB_DEVICE_DESCRIPTOR device{};
    std::vector<ce::host::UsbInterfaceModel> interfaces;
    std::vector<RecordedEvent> events;
};

// The lines of a recording, each ending in '\n'.
std::string FormatDescriptors(const USB_DEVICE_DESCRIPTOR& device,
                              const std::vector<ce::host::UsbInterfaceModel>& interfaces);
std::string FormatControlStart(double platformMs, const USB_DEVICE_REQUEST& setup,
                               std::span<const std::uint8_t> sent);
std::string FormatControlEnd(double platformMs, const USB_DEVICE_REQUEST& setup,
                             const ce::host::ControlResult& result,
                             std::span<const std::uint8_t> received);
std::string FormatPacket(double platformMs, const RecordedPacket& packet);
std::string FormatMouseEvent(double platformMs, const RecordedMouseEvent& event);

// The recording, or what is wrong with it ("line 12: ...").
std::variant<UsbRecording, std::string> ParseRecording(std::string_view text);

// The mouse events a recording says its run injected.
std::vector<RecordedMouseEvent> MouseEventsOf(const UsbRecording& recording);

// "s c0 01 0000 0000 0040": a request as the recording and its differences show it.
std::string DescribeSetup(const USB_DEVICE_REQUEST& setup);

}  // namespace ots::sim
