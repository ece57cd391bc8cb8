#include "control_protocol/camera_on_bus.h"

#include "protocol/vendor_command.h"

namespace cp {

namespace {
constexpr BYTE kVendorOut = 0x40;
}

class CameraOnBus::Tap final : public ce::host::UsbDeviceModel {
  public:
    explicit Tap(std::shared_ptr<ots::sim::CameraDevice> inner) : inner_(std::move(inner)) {}

    void SetFilter(CommandFilter filter) {
        std::lock_guard lock(mutex_);
        filter_ = std::move(filter);
    }

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return inner_->DeviceDescriptor(); }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override {
        return inner_->Interfaces();
    }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup,
                                    std::span<BYTE> data) override {
        if (setup.bmRequestType == kVendorOut && Refuses(data)) {
            return {USB_STALL_ERROR, 0};
        }
        return inner_->Control(setup, data);
    }
    ce::host::ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) override {
        return inner_->DataOut(endpointAddress, data);
    }
    void Connected(ce::host::UsbPort* port) override { inner_->Connected(port); }
    void Disconnected() override { inner_->Disconnected(); }

  private:
    bool Refuses(std::span<const BYTE> command) {
        std::lock_guard lock(mutex_);
        return filter_ && filter_(command);
    }

    std::shared_ptr<ots::sim::CameraDevice> inner_;
    std::mutex mutex_;
    CommandFilter filter_;
};

CameraOnBus::CameraOnBus(std::shared_ptr<ots::sim::CameraNvm> nvm,
                         const ots::sim::CameraDeviceOptions& options)
    : device_(std::make_shared<ots::sim::CameraDevice>(ots::sim::RealisticCameraPanel(),
                                                       std::move(nvm), options)),
      tap_(std::make_shared<Tap>(device_)) {
    id_ = ce::host::PlugUsbDevice(tap_);
}

CameraOnBus::~CameraOnBus() {
    Unplug();
}

void CameraOnBus::RefuseCommands(CommandFilter filter) {
    tap_->SetFilter(std::move(filter));
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

Bytes Framed(BYTE cls, BYTE code, BYTE index, const Bytes& data) {
    Bytes bytes(ots::kVendorPacketSize);
    bytes.resize(ots::BuildVendorCommand(cls, code, index, data.data(), data.size(), bytes));
    return bytes;
}

std::vector<Bytes> ReceivedCommands(const ots::sim::CameraFirmware& firmware) {
    std::vector<Bytes> commands;
    for (const ots::sim::CommandRecord& record : firmware.CommandLog()) {
        commands.push_back(record.bytes);
    }
    return commands;
}

}  // namespace cp
