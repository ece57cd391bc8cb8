// One real device, reached through libusb, as a device model of the stand-in's USB stack: its
// descriptors as the device gave them, control requests as libusb control transfers, and a ring
// of libusb interrupt transfers on each IN endpoint of its vendor-specific interfaces whose
// reports go to the port. A STALL on such an endpoint halts the pipe; the client's ResetPipe
// clears the device's halt and reading resumes.
#pragma once

#include <libusb.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "ce/host/usb_host.h"

namespace ce::usb {

// "001/004 7e21:0c20": bus and address, vendor and product, as messages name a device.
std::string DeviceLabel(libusb_device* device);

// Whether the device's active configuration has an interface of class 0xFF.
bool OffersVendorInterface(libusb_device* device);

class LibusbDevice final : public host::UsbDeviceModel {
  public:
    // Opens the device and claims its vendor-specific interfaces, detaching a kernel driver
    // bound to one (it is given back when the device is closed). Null, with the reason in
    // *error, when that fails; nothing is left open then. *notes gets what was done on the way.
    static std::shared_ptr<LibusbDevice> Open(libusb_device* device, std::string* error,
                                              std::vector<std::string>* notes);
    // Closes the device if Close() has not.
    ~LibusbDevice() override;
    LibusbDevice(const LibusbDevice&) = delete;
    LibusbDevice& operator=(const LibusbDevice&) = delete;

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return descriptor_; }
    std::vector<host::UsbInterfaceModel> Interfaces() const override { return interfaces_; }
    host::ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) override;
    host::ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) override;
    void ResetEndpoint(BYTE endpointAddress) override;
    void Connected(host::UsbPort* port) override;
    void Disconnected() override;

    // Gives the interfaces back and closes the device, after it has left the bus and before
    // libusb ends: whoever still holds the model (a recorder, a test) then holds a closed
    // device, whose requests fail as a device that does not respond.
    void Close();

    // How long a control request may take before the device counts as not responding.
    static constexpr unsigned kControlTimeoutMs = 1000;
    // Interrupt transfers kept queued on each IN endpoint.
    static constexpr int kReadRing = 4;

  private:
    struct Reader {
        LibusbDevice* owner;
        libusb_transfer* transfer;
        std::vector<unsigned char> buffer;
        bool inFlight = false;
        bool halted = false;  // completed with a STALL; waits for ResetEndpoint
    };

    explicit LibusbDevice(libusb_device_handle* handle);
    static void LIBUSB_CALL OnRead(libusb_transfer* transfer);
    void Completed(Reader& reader);
    void SubmitLocked(Reader& reader);

    std::shared_mutex closing_;  // shared while a request uses handle_
    libusb_device_handle* handle_;
    std::vector<int> claimed_;  // interface numbers
    USB_DEVICE_DESCRIPTOR descriptor_{};
    std::vector<host::UsbInterfaceModel> interfaces_;

    std::mutex mutex_;
    std::condition_variable settled_;
    host::UsbPort* port_ = nullptr;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Reader>> readers_;
};

}  // namespace ce::usb
