// A simulated camera controller on the bus, with the driver installed as in
// integration/integration_support.h.
#pragma once

#include <memory>
#include <vector>

#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "sim/camera_nvm.h"
#include "support/bus.h"
#include "support/records.h"

namespace ots::test {

class CameraOnBus {
  public:
    // Plugs at once; attach (with its pause and the controller's initialisation) has finished
    // when the constructor returns. Pass the same memory to a later instance to re-plug the same
    // controller.
    explicit CameraOnBus(std::shared_ptr<ots::sim::CameraNvm> nvm = nullptr)
        : device_(std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(),
                                                           std::move(nvm))),
          plugged_(device_) {}

    ots::sim::CameraDevice& device() { return *device_; }
    ots::sim::CameraFirmware& firmware() { return device_->Firmware(); }

  private:
    std::shared_ptr<ots::sim::CameraDevice> device_;
    ce::host::ScopedUsbDevice plugged_;
};

// The bytes of every command the firmware received, in order.
inline std::vector<Bytes> ReceivedCommands(const ots::sim::CameraFirmware& firmware) {
    std::vector<Bytes> commands;
    for (const ots::sim::CommandRecord& record : firmware.CommandLog()) {
        commands.push_back(record.bytes);
    }
    return commands;
}

}  // namespace ots::test
