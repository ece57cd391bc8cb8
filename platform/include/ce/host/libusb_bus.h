// Real USB devices, through libusb: while a bus runs, every attached device that offers a
// vendor-specific interface (class 0xFF) is plugged into the stand-in's USB stack, as a
// simulated device is, and taken off it when it leaves. Devices present at the start are
// plugged too. Only this library knows libusb; the drivers are the same.
//
// What goes wrong ends in a message to the bus's reporter and the device left alone: no
// permission on its node, an interface another program holds, a device gone before it could
// be opened. A kernel driver bound to the interface is detached while the device is plugged.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ce/host/usb_host.h"

namespace ce::host {

class LibusbBus {
  public:
    struct Options {
        // Told, one line each, what the bus did and what failed; called from its own threads.
        std::function<void(const std::string&)> report;
        // Put between each device and the stack, e.g. a recorder; null plugs the device itself.
        std::function<std::shared_ptr<UsbDeviceModel>(std::shared_ptr<UsbDeviceModel>)> wrap;
    };

    // Null, with the reason in *error, when libusb cannot be started.
    static std::unique_ptr<LibusbBus> Start(Options options, std::string* error);
    // Unplugs every device it plugged and ends libusb.
    ~LibusbBus();
    LibusbBus(const LibusbBus&) = delete;
    LibusbBus& operator=(const LibusbBus&) = delete;

    // The devices it has plugged and not yet unplugged, in plugging order.
    std::vector<UsbDeviceId> Devices() const;

    class Impl;

  private:
    explicit LibusbBus(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ce::host
