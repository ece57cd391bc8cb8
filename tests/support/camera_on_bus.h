// A simulated camera controller on the bus, with the driver installed as in
// integration/integration_support.h. Between the bus and the controller sits a tap that can
// refuse chosen vendor commands: it stalls their OUT stage, so the firmware never sees them and
// the driver's exchange fails as with a controller that does not take the command.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "sim/camera_nvm.h"
#include "support/bus.h"
#include "support/records.h"

namespace ots::test {

// The identity the camera controller reports.
inline constexpr WORD kCameraVendor = 0x7E21;
inline constexpr WORD kCameraProduct = 0x0C20;
inline constexpr WORD kCameraRelease = 0x0100;

class CameraOnBus {
  public:
    // Plugs at once; attach (with its pause and the controller's initialisation) has finished
    // when the constructor returns. Pass the same memory to a later instance to re-plug the same
    // controller.
    explicit CameraOnBus(std::shared_ptr<ots::sim::CameraNvm> nvm = nullptr,
                         const ots::sim::CameraDeviceOptions& options = {});
    ~CameraOnBus();
    CameraOnBus(const CameraOnBus&) = delete;
    CameraOnBus& operator=(const CameraOnBus&) = delete;

    ots::sim::CameraDevice& device() { return *device_; }
    ots::sim::CameraFirmware& firmware() { return device_->Firmware(); }
    ots::sim::CameraNvm& nvm() { return *device_->Nvm(); }
    const std::shared_ptr<ots::sim::CameraNvm>& sharedNvm() const { return device_->Nvm(); }
    ce::host::UsbDeviceId id() const { return id_; }

    // Commands for which the filter answers true are stalled from now on; an empty filter
    // lets everything through again.
    void RefuseCommands(CommandFilter filter);
    void Unplug();

  private:
    std::shared_ptr<ots::sim::CameraDevice> device_;
    std::shared_ptr<BusTap> tap_;
    ce::host::UsbDeviceId id_ = ce::host::kNoUsbDevice;
};

// A filter for the commands with this class, code and index (byte 4).
CommandFilter CommandIs(BYTE cls, BYTE code, BYTE index);

// The bytes of every command the firmware received, in order.
std::vector<Bytes> ReceivedCommands(const ots::sim::CameraFirmware& firmware);

}  // namespace ots::test
