// The host side of the USB stack: plugging simulated devices in and out, and the interface a
// device model implements.
//
// Client registration in the registry (all under HKEY_LOCAL_MACHINE):
//   RegisterClientDriverID(id)      creates "Drivers\USB\ClientDrivers\<id>".
//   UnRegisterClientDriverID(id)    deletes that key only while it is empty: the values the
//                                   platform configuration keeps there and the settings a driver
//                                   stores in its subkeys survive an uninstall.
//   RegisterClientSettings(dll, id, _, settings) writes
//       "Drivers\USB\LoadClients\<vendor group>\<device group>\<interface group>\<id>"
//       with "DLL" = dll (REG_SZ). Each group is "Default" when its first field is
//       USB_NO_INFO, otherwise its fields in decimal joined by '_' up to the first USB_NO_INFO:
//         vendor group     dwVendorId[_dwProductId[_dwReleaseNumber]]
//         device group     dwDeviceClass[_dwDeviceSubClass[_dwDeviceProtocol]]
//         interface group  dwInterfaceClass[_dwInterfaceSubClass[_dwInterfaceProtocol]]
//       Settings of any vendor with interface class, subclass and protocol 0xFF therefore give
//       "Drivers\USB\LoadClients\Default\Default\255_255_255\<id>".
//   UnRegisterClientSettings(id, _, settings) deletes that "<id>" key and then each group key
//       that it leaves empty.
//
// Matching, when a device is plugged: a registration matches when every field its groups name
// equals the device's (vendor, product, release from the device descriptor; device class,
// subclass, protocol from the device descriptor; interface fields from the interface
// descriptor). In the interface group a subclass or protocol of 255 matches any value, so a
// driver registered for 255_255_255 is offered every vendor-specific interface (class 255),
// whatever its subclass and protocol; class 255 itself matches only class 255.
// Registrations with a "Default" interface group are device drivers: they are offered the
// device first, with a null interface, and one that accepts takes the whole device. Otherwise
// each interface is offered to its matching registrations, the most specific first (the most
// named fields), until one sets the accept-control flag.
//
// Loading: the "DLL" value is resolved against the driver search path unless it is absolute,
// loaded once with dlopen and kept loaded; its DllMain (if exported) is called once with
// DLL_PROCESS_ATTACH, then USBDeviceAttach with the stack's USB_FUNCS table.
//
// Threads: attach and the USB_CLOSE_DEVICE notification run on a stack thread while the
// plugging or unplugging caller waits. Completion routines run on the stack's completion
// thread, one at a time in completion order, never inside the call that issued, aborted or
// completed the transfer. Aborting and closing a pipe return after the routines they caused
// have run (unless USB_NO_WAIT is given, or the call comes from a completion routine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ce/usbd.h"

namespace ce::host {

// One interface of a device model: its descriptor (bNumEndpoints is filled in by the stack)
// and its endpoints in order.
struct UsbInterfaceModel {
    USB_INTERFACE_DESCRIPTOR descriptor;
    std::vector<USB_ENDPOINT_DESCRIPTOR> endpoints;
};

// How a device answered a control request or took OUT data: usbError is USB_NO_ERROR,
// USB_STALL_ERROR for a request it does not serve, or another USB error; bytesTransferred is
// at most the data span's size.
struct ControlResult {
    DWORD usbError;
    DWORD bytesTransferred;
};

// The bus side of one plugged device, as its model sees it. Valid from Connected() until
// Disconnected() returns; every call is thread-safe.
class UsbPort {
  public:
    // Offers one report on an interrupt IN endpoint. The oldest transfer queued on the
    // endpoint's pipe completes with it (bytes = min(report, transfer buffer)); while none is
    // queued, or the pipe is halted, the report waits in the endpoint's FIFO (the endpoint
    // NAKs). False once the device is unplugged, or for an address that is no IN endpoint.
    virtual bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) = 0;

    // The endpoint answers with a STALL: the oldest queued transfer (or the next one issued)
    // completes with USB_STALL_ERROR and the pipe is halted until ResetPipe.
    virtual void Stall(BYTE endpointAddress) = 0;

    // false: the device stops answering; queued and new transfers, control transfers
    // included, complete with USB_DEVICE_NOT_RESPONDING_ERROR. true: it answers again.
    virtual void SetResponding(bool responding) = 0;

    // Waits until every report sent is consumed: no report waits in a FIFO, every completed
    // transfer was closed by its client, no completion routine is pending, and each open IN
    // pipe has as many transfers queued again as its client ever kept queued at once (a
    // client still filling its ring counts with what it has queued so far). False when the
    // platform timeout passes first, or the device is gone.
    virtual bool WaitIdle(DWORD platformTimeoutMs) = 0;

    // Transfers queued (issued, not yet completed) on the endpoint's pipe.
    virtual std::size_t QueuedTransfers(BYTE endpointAddress) const = 0;
    // Reports waiting in the endpoint's FIFO.
    virtual std::size_t PendingReports(BYTE endpointAddress) const = 0;
    // Whether a client has the endpoint's pipe open.
    virtual bool IsPipeOpen(BYTE endpointAddress) const = 0;

  protected:
    ~UsbPort() = default;
};

// What a simulated device implements. Calls may come from several threads at once (attach,
// control calls of clients, the completion thread); a model guards its own state.
class UsbDeviceModel {
  public:
    virtual ~UsbDeviceModel() = default;

    virtual USB_DEVICE_DESCRIPTOR DeviceDescriptor() const = 0;
    virtual std::vector<UsbInterfaceModel> Interfaces() const = 0;

    // A request on the default pipe. data is the data stage: for a device-to-host request the
    // model fills it (its size is the client's wLength); otherwise it holds what the client sent.
    virtual ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) = 0;

    // Data of a transfer on an OUT endpoint. By default the device takes all of it.
    virtual ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) {
        static_cast<void>(endpointAddress);
        return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
    }

    // A client reset the pipe of the endpoint after a STALL: a real device has its halt
    // cleared here. Called outside the stack's lock, before the pipe takes transfers again.
    virtual void ResetEndpoint(BYTE endpointAddress) { static_cast<void>(endpointAddress); }

    // Called after the device appears on the bus and before any driver is offered it.
    virtual void Connected(UsbPort* port) { static_cast<void>(port); }
    // Called when the device leaves the bus, before the driver is notified. The port refuses
    // further reports already; it must not be used once this returns.
    virtual void Disconnected() {}
};

using UsbDeviceId = std::uint32_t;
inline constexpr UsbDeviceId kNoUsbDevice = 0;

// Puts a device on the bus, offers it to the registered drivers and returns after attach has
// finished. Never returns kNoUsbDevice for a non-null model.
UsbDeviceId PlugUsbDevice(const std::shared_ptr<UsbDeviceModel>& model);

// Takes a device off the bus: marks it gone, calls Disconnected(), calls every registered
// notification routine with USB_CLOSE_DEVICE and waits for it, then completes the transfers
// still queued as USB_CANCELED_ERROR. Transfers issued on its still-open pipes afterwards
// complete with USB_DEVICE_NOT_RESPONDING_ERROR. False for an unknown id. Not to be called
// from a completion routine or from the device model's own threads (Disconnected joins them).
bool UnplugUsbDevice(UsbDeviceId id);

// The devices on the bus, in plugging order.
std::vector<UsbDeviceId> PluggedUsbDevices();

// Whether some driver accepted an interface of the device (or the whole device).
bool IsUsbDeviceClaimed(UsbDeviceId id);

// Where a relative "DLL" name is looked for; default: the folder of /proc/self/exe.
void SetDriverSearchPath(const std::string& dir);
std::string DriverSearchPath();

// Plugs a device for the life of one scope.
class ScopedUsbDevice {
  public:
    explicit ScopedUsbDevice(const std::shared_ptr<UsbDeviceModel>& model)
        : id_(PlugUsbDevice(model)) {}
    ~ScopedUsbDevice() { Unplug(); }
    ScopedUsbDevice(const ScopedUsbDevice&) = delete;
    ScopedUsbDevice& operator=(const ScopedUsbDevice&) = delete;

    UsbDeviceId id() const { return id_; }
    // Unplugs now (the destructor then does nothing).
    void Unplug() {
        if (id_ != kNoUsbDevice) {
            UnplugUsbDevice(id_);
            id_ = kNoUsbDevice;
        }
    }

  private:
    UsbDeviceId id_;
};

}  // namespace ce::host
