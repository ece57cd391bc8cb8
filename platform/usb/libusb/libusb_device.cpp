#include "libusb_device.h"

#include <cstdio>

namespace ce::usb {

namespace {

constexpr BYTE kVendorSpecificClass = 0xFF;
constexpr BYTE kInterruptTransferType = 3;

DWORD UsbErrorOf(int libusbError) {
    switch (libusbError) {
        case LIBUSB_ERROR_PIPE:
            return USB_STALL_ERROR;
        case LIBUSB_ERROR_OVERFLOW:
            return USB_DATA_OVERRUN_ERROR;
        default:  // timed out, gone, I/O error: the device does not answer
            return USB_DEVICE_NOT_RESPONDING_ERROR;
    }
}

USB_ENDPOINT_DESCRIPTOR EndpointModel(const libusb_endpoint_descriptor& endpoint) {
    return {endpoint.bLength,      endpoint.bDescriptorType, endpoint.bEndpointAddress,
            endpoint.bmAttributes, endpoint.wMaxPacketSize,  endpoint.bInterval};
}

host::UsbInterfaceModel InterfaceModel(const libusb_interface_descriptor& interface) {
    host::UsbInterfaceModel model{};
    model.descriptor = {interface.bLength,
                        interface.bDescriptorType,
                        interface.bInterfaceNumber,
                        interface.bAlternateSetting,
                        interface.bNumEndpoints,
                        interface.bInterfaceClass,
                        interface.bInterfaceSubClass,
                        interface.bInterfaceProtocol,
                        interface.iInterface};
    for (int i = 0; i < interface.bNumEndpoints; ++i) {
        model.endpoints.push_back(EndpointModel(interface.endpoint[i]));
    }
    return model;
}

struct ConfigCloser {
    void operator()(libusb_config_descriptor* config) const {
        libusb_free_config_descriptor(config);
    }
};
using ConfigPtr = std::unique_ptr<libusb_config_descriptor, ConfigCloser>;

ConfigPtr ActiveConfig(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    return ConfigPtr(libusb_get_active_config_descriptor(device, &config) == 0 ? config : nullptr);
}

}  // namespace

std::string DeviceLabel(libusb_device* device) {
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    char label[32];
    std::snprintf(label, sizeof(label), "%03u/%03u %04x:%04x", libusb_get_bus_number(device),
                  libusb_get_device_address(device), descriptor.idVendor, descriptor.idProduct);
    return label;
}

bool OffersVendorInterface(libusb_device* device) {
    const ConfigPtr config = ActiveConfig(device);
    for (int i = 0; config && i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting > 0 &&
            interface.altsetting[0].bInterfaceClass == kVendorSpecificClass) {
            return true;
        }
    }
    return false;
}

LibusbDevice::LibusbDevice(libusb_device_handle* handle) : handle_(handle) {}

std::shared_ptr<LibusbDevice> LibusbDevice::Open(libusb_device* device, std::string* error,
                                                 std::vector<std::string>* notes) {
    const std::string label = DeviceLabel(device);
    libusb_device_handle* handle = nullptr;
    if (const int opened = libusb_open(device, &handle); opened != 0) {
        *error = label + ": cannot open it: " + libusb_strerror(opened);
        if (opened == LIBUSB_ERROR_ACCESS) {
            *error +=
                " (no permission on its device node; install the project's udev rule "
                "config/70-ots-touch.rules and plug it in again)";
        }
        return nullptr;
    }
    std::shared_ptr<LibusbDevice> self(new LibusbDevice(handle));
    const ConfigPtr config = ActiveConfig(device);
    libusb_device_descriptor descriptor{};
    if (!config || libusb_get_device_descriptor(device, &descriptor) != 0) {
        *error = label + ": its descriptors cannot be read";
        return nullptr;
    }
    self->descriptor_ = {
        descriptor.bLength,         descriptor.bDescriptorType,   descriptor.bcdUSB,
        descriptor.bDeviceClass,    descriptor.bDeviceSubClass,   descriptor.bDeviceProtocol,
        descriptor.bMaxPacketSize0, descriptor.idVendor,          descriptor.idProduct,
        descriptor.bcdDevice,       descriptor.iManufacturer,     descriptor.iProduct,
        descriptor.iSerialNumber,   descriptor.bNumConfigurations};
    // A kernel driver bound to the interface is detached at the claim and bound again when
    // the interface is released.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting == 0 ||
            interface.altsetting[0].bInterfaceClass != kVendorSpecificClass) {
            continue;
        }
        const int number = interface.altsetting[0].bInterfaceNumber;
        const bool bound = libusb_kernel_driver_active(handle, number) == 1;
        if (const int claimed = libusb_claim_interface(handle, number); claimed != 0) {
            *error = label + ": cannot claim interface " + std::to_string(number) + ": " +
                     libusb_strerror(claimed);
            if (claimed == LIBUSB_ERROR_BUSY) {
                *error += " (another program or a kernel driver that cannot be detached holds it)";
            }
            return nullptr;
        }
        if (bound) {
            notes->push_back(label + ": interface " + std::to_string(number) +
                             " was bound to a kernel driver; detached until the host lets the "
                             "device go");
        }
        self->claimed_.push_back(number);
        self->interfaces_.push_back(InterfaceModel(interface.altsetting[0]));
    }
    return self;
}

LibusbDevice::~LibusbDevice() {
    Close();
}

void LibusbDevice::Close() {
    std::unique_lock closing(closing_);
    if (handle_ == nullptr) {
        return;
    }
    for (const auto& reader : readers_) {
        libusb_free_transfer(reader->transfer);
    }
    readers_.clear();
    for (const int number : claimed_) {
        libusb_release_interface(handle_, number);
    }
    libusb_close(handle_);
    handle_ = nullptr;
}

host::ControlResult LibusbDevice::Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) {
    std::shared_lock closing(closing_);
    if (handle_ == nullptr) {
        return {USB_DEVICE_NOT_RESPONDING_ERROR, 0};
    }
    const int result = libusb_control_transfer(
        handle_, setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex, data.data(),
        static_cast<std::uint16_t>(data.size()), kControlTimeoutMs);
    if (result < 0) {
        return {UsbErrorOf(result), 0};
    }
    return {USB_NO_ERROR, static_cast<DWORD>(result)};
}

host::ControlResult LibusbDevice::DataOut(BYTE endpointAddress, std::span<const BYTE> data) {
    std::shared_lock closing(closing_);
    if (handle_ == nullptr) {
        return {USB_DEVICE_NOT_RESPONDING_ERROR, 0};
    }
    std::vector<unsigned char> bytes(data.begin(), data.end());
    int transferred = 0;
    const int result =
        libusb_interrupt_transfer(handle_, endpointAddress, bytes.data(),
                                  static_cast<int>(bytes.size()), &transferred, kControlTimeoutMs);
    if (result != 0) {
        return {UsbErrorOf(result), static_cast<DWORD>(transferred)};
    }
    return {USB_NO_ERROR, static_cast<DWORD>(transferred)};
}

void LibusbDevice::Connected(host::UsbPort* port) {
    std::lock_guard lock(mutex_);
    port_ = port;
    for (const auto& interface : interfaces_) {
        for (const auto& endpoint : interface.endpoints) {
            if ((endpoint.bEndpointAddress & 0x80) == 0 ||
                (endpoint.bmAttributes & 3) != kInterruptTransferType) {
                continue;
            }
            for (int i = 0; i < kReadRing; ++i) {
                auto reader = std::make_unique<Reader>();
                reader->owner = this;
                reader->transfer = libusb_alloc_transfer(0);
                reader->buffer.resize(endpoint.wMaxPacketSize);
                libusb_fill_interrupt_transfer(
                    reader->transfer, handle_, endpoint.bEndpointAddress, reader->buffer.data(),
                    static_cast<int>(reader->buffer.size()), &OnRead, reader.get(), 0);
                SubmitLocked(*reader);
                readers_.push_back(std::move(reader));
            }
        }
    }
}

void LibusbDevice::SubmitLocked(Reader& reader) {
    reader.inFlight = libusb_submit_transfer(reader.transfer) == 0;
}

void LIBUSB_CALL LibusbDevice::OnRead(libusb_transfer* transfer) {
    auto* reader = static_cast<Reader*>(transfer->user_data);
    reader->owner->Completed(*reader);
}

// Runs on the bus's event thread. The reader stays in flight while the port is called, so that
// Disconnected() does not return under a call.
void LibusbDevice::Completed(Reader& reader) {
    const libusb_transfer& transfer = *reader.transfer;
    const BYTE endpoint = transfer.endpoint;
    host::UsbPort* port = nullptr;
    {
        std::lock_guard lock(mutex_);
        port = stopping_ ? nullptr : port_;
    }
    if (port != nullptr) {
        if (transfer.status == LIBUSB_TRANSFER_COMPLETED) {
            port->SendInterrupt(
                endpoint, {reader.buffer.data(), static_cast<std::size_t>(transfer.actual_length)});
        } else if (transfer.status == LIBUSB_TRANSFER_STALL) {
            port->Stall(endpoint);
        } else if (transfer.status == LIBUSB_TRANSFER_ERROR) {
            port->SetResponding(false);
        }
    }
    std::lock_guard lock(mutex_);
    reader.inFlight = false;
    reader.halted = transfer.status == LIBUSB_TRANSFER_STALL;
    // Gone (NO_DEVICE) or broken (ERROR): the transfer stays idle; the hot-plug monitor takes
    // a device that left off the bus.
    const bool again =
        transfer.status == LIBUSB_TRANSFER_COMPLETED || transfer.status == LIBUSB_TRANSFER_OVERFLOW;
    if (again && !stopping_) {
        SubmitLocked(reader);
    }
    settled_.notify_all();
}

void LibusbDevice::ResetEndpoint(BYTE endpointAddress) {
    std::shared_lock closing(closing_);
    if (handle_ == nullptr) {
        return;
    }
    libusb_clear_halt(handle_, endpointAddress);
    std::lock_guard lock(mutex_);
    for (const auto& reader : readers_) {
        if (reader->transfer->endpoint == endpointAddress && reader->halted && !stopping_) {
            reader->halted = false;
            SubmitLocked(*reader);
        }
    }
}

void LibusbDevice::Disconnected() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    for (const auto& reader : readers_) {
        if (reader->inFlight) {
            libusb_cancel_transfer(reader->transfer);
        }
    }
    settled_.wait(lock, [this] {
        for (const auto& reader : readers_) {
            if (reader->inFlight) {
                return false;
            }
        }
        return true;
    });
    port_ = nullptr;
}

}  // namespace ce::usb
