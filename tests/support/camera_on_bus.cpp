#include "support/camera_on_bus.h"

namespace ots::test {

CameraOnBus::CameraOnBus(std::shared_ptr<ots::sim::CameraNvm> nvm,
                         const ots::sim::CameraDeviceOptions& options)
    : device_(std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(),
                                                       std::move(nvm), options)),
      tap_(std::make_shared<BusTap>(device_)) {
    id_ = ce::host::PlugUsbDevice(tap_);
}

CameraOnBus::~CameraOnBus() {
    Unplug();
}

void CameraOnBus::RefuseCommands(CommandFilter filter) {
    tap_->RefuseCommands(std::move(filter));
}

void CameraOnBus::Unplug() {
    if (id_ != ce::host::kNoUsbDevice) {
        ce::host::UnplugUsbDevice(id_);
        id_ = ce::host::kNoUsbDevice;
    }
}

CommandFilter CommandIs(BYTE cls, BYTE code, BYTE index) {
    return [=](std::span<const BYTE> command) {
        return command.size() > 4 && command[1] == cls && command[2] == code && command[4] == index;
    };
}

std::vector<Bytes> ReceivedCommands(const ots::sim::CameraFirmware& firmware) {
    std::vector<Bytes> commands;
    for (const ots::sim::CommandRecord& record : firmware.CommandLog()) {
        commands.push_back(record.bytes);
    }
    return commands;
}

}  // namespace ots::test
