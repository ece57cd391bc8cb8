// A small device model for the stack's tests: descriptors as given, a vendor request that
// stores what it is sent and one that hands it back, and a STALL for everything else.
#pragma once

#include <mutex>
#include <thread>
#include <vector>

#include "ce/host/usb_host.h"

namespace usbtest {

inline constexpr BYTE kInEndpoint = 0x81;
inline constexpr BYTE kOutEndpoint = 0x02;
inline constexpr WORD kReportSize = 8;
inline constexpr BYTE kVendorOut = 0x40;
inline constexpr BYTE kVendorIn = 0xC0;
inline constexpr BYTE kStoreRequest = 1;  // OUT: keep the data; IN: give it back

inline USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD size) {
    return USB_ENDPOINT_DESCRIPTOR{7, 5, address, attributes, size, 10};
}

inline ce::host::UsbInterfaceModel Interface(BYTE number, BYTE cls, BYTE subClass, BYTE protocol,
                                             std::vector<USB_ENDPOINT_DESCRIPTOR> endpoints) {
    ce::host::UsbInterfaceModel model{};
    model.descriptor = USB_INTERFACE_DESCRIPTOR{9, 4, number, 0, 0, cls, subClass, protocol, 0};
    model.endpoints = std::move(endpoints);
    return model;
}

// OUT bulk endpoint first, then the interrupt IN report endpoint.
inline ce::host::UsbInterfaceModel ReportInterface(BYTE cls = 0xFF, BYTE subClass = 0x01,
                                                   BYTE protocol = 0x02) {
    return Interface(0, cls, subClass, protocol,
                     {Endpoint(kOutEndpoint, 0x02, 64), Endpoint(kInEndpoint, 0x03, kReportSize)});
}

class TestDevice final : public ce::host::UsbDeviceModel {
  public:
    explicit TestDevice(std::vector<ce::host::UsbInterfaceModel> interfaces = {ReportInterface()},
                        WORD idVendor = 0x1111, WORD idProduct = 0x2222)
        : interfaces_(std::move(interfaces)) {
        descriptor_ = USB_DEVICE_DESCRIPTOR{18,       1,         0x0200, 0, 0, 0, 8,
                                            idVendor, idProduct, 0x0105, 0, 0, 0, 1};
    }

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return descriptor_; }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override { return interfaces_; }

    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup,
                                    std::span<BYTE> data) override {
        std::lock_guard lock(mutex_);
        controlThreads_.push_back(std::this_thread::get_id());
        if (setup.bmRequestType == kVendorOut && setup.bRequest == kStoreRequest) {
            stored_.assign(data.begin(), data.end());
            return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
        }
        if (setup.bmRequestType == kVendorIn && setup.bRequest == kStoreRequest) {
            const std::size_t n = std::min(stored_.size(), data.size());
            std::copy_n(stored_.begin(), n, data.begin());
            return {USB_NO_ERROR, static_cast<DWORD>(n)};
        }
        return {USB_STALL_ERROR, 0};
    }

    ce::host::ControlResult DataOut(BYTE, std::span<const BYTE> data) override {
        std::lock_guard lock(mutex_);
        outData_.emplace_back(data.begin(), data.end());
        return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
    }

    void Connected(ce::host::UsbPort* port) override {
        std::lock_guard lock(mutex_);
        port_ = port;
        ++connects_;
    }
    void Disconnected() override {
        std::lock_guard lock(mutex_);
        port_ = nullptr;
        ++disconnects_;
    }

    ce::host::UsbPort* port() {
        std::lock_guard lock(mutex_);
        return port_;
    }
    int connects() {
        std::lock_guard lock(mutex_);
        return connects_;
    }
    int disconnects() {
        std::lock_guard lock(mutex_);
        return disconnects_;
    }
    std::vector<std::thread::id> controlThreads() {
        std::lock_guard lock(mutex_);
        return controlThreads_;
    }
    std::vector<std::vector<BYTE>> outData() {
        std::lock_guard lock(mutex_);
        return outData_;
    }

  private:
    USB_DEVICE_DESCRIPTOR descriptor_;
    std::vector<ce::host::UsbInterfaceModel> interfaces_;
    std::mutex mutex_;
    ce::host::UsbPort* port_ = nullptr;
    int connects_ = 0;
    int disconnects_ = 0;
    std::vector<BYTE> stored_;
    std::vector<std::thread::id> controlThreads_;
    std::vector<std::vector<BYTE>> outData_;
};

}  // namespace usbtest
