// Plugging and unplugging devices: offering them to the registered client drivers, and the
// detach notification.
#include <thread>

#include "ce/host/usb_host.h"
#include "client_registration.h"
#include "driver_loader.h"
#include "matching.h"
#include "usb_handles.h"
#include "usb_stack.h"

namespace ce::usb {

namespace {

// Attach and detach run on a thread of the stack while the host's caller waits for them.
template <class Work>
void RunOnStackThread(Work&& work) {
    std::thread thread(std::forward<Work>(work));
    thread.join();
}

bool Offer(const Device& device, const ClientRegistration& registration,
           LPCUSB_INTERFACE interface) {
    const LPUSB_DEVICE_ATTACH attach = LoadClientDriver(registration.dll);
    if (attach == nullptr) {
        return false;
    }
    BOOL accepted = FALSE;
    attach(ToHandle<USB_HANDLE>(device.handle), &kUsbFuncs, interface,
           registration.driverId.c_str(), &accepted, &registration.settings, 0);
    return accepted != FALSE;
}

void AttachDrivers(Stack& stack, Device& device) {
    const auto registrations = ReadClientRegistrations();
    const USB_DEVICE_DESCRIPTOR& descriptor = device.descriptors.Device()->Descriptor;
    for (const auto& registration : Candidates(registrations, descriptor, nullptr)) {
        if (Offer(device, registration, nullptr)) {
            stack.SetClaimed(device);
            return;  // a device driver takes the whole device
        }
    }
    for (const USB_INTERFACE& interface : device.descriptors.Interfaces()) {
        for (const auto& registration :
             Candidates(registrations, descriptor, &interface.Descriptor)) {
            if (Offer(device, registration, &interface)) {
                stack.SetClaimed(device);
                break;
            }
        }
    }
}

}  // namespace

}  // namespace ce::usb

namespace ce::host {

UsbDeviceId PlugUsbDevice(const std::shared_ptr<UsbDeviceModel>& model) {
    if (!model) {
        return kNoUsbDevice;
    }
    auto& stack = ce::usb::Stack::Instance();
    const auto device = stack.AddDevice(model);
    model->Connected(&device->port);
    ce::usb::RunOnStackThread([&] { ce::usb::AttachDrivers(stack, *device); });
    return device->handle;
}

bool UnplugUsbDevice(UsbDeviceId id) {
    auto& stack = ce::usb::Stack::Instance();
    std::vector<std::pair<LPDEVICE_NOTIFY_ROUTINE, LPVOID>> notifiers;
    std::shared_ptr<UsbDeviceModel> model;
    const auto device = stack.BeginUnplug(id, notifiers, model);
    if (!device) {
        return false;
    }
    if (model) {
        model->Disconnected();
    }
    ce::usb::RunOnStackThread([&] {
        for (const auto& [routine, parameter] : notifiers) {
            routine(parameter, USB_CLOSE_DEVICE, nullptr, nullptr, nullptr, nullptr);
        }
    });
    stack.FinishUnplug(device);
    return true;
}

std::vector<UsbDeviceId> PluggedUsbDevices() {
    return ce::usb::Stack::Instance().PluggedDevices();
}

bool IsUsbDeviceClaimed(UsbDeviceId id) {
    return ce::usb::Stack::Instance().IsClaimed(id);
}

}  // namespace ce::host
