#include "sim/camera_nvm.h"

#include "protocol/calib_para.h"
#include "protocol/device_config.h"

namespace ots::sim {

namespace {
constexpr std::uint8_t kUnassignedDeviceId = 0xFF;

Block EncodedCalibration(const ots::CalibPara& record) {
    Block block{};
    ots::EncodeCalibPara(record, block);
    return block;
}

std::size_t AxisSlot(int axis) {
    return axis == 0 ? 0 : 1;
}
}  // namespace

CameraNvm::CameraNvm() {
    ots::DeviceConfig config{};
    config.DeviceID = kUnassignedDeviceId;
    ots::EncodeDeviceConfig(config, deviceConfig_);
    calibration_[0] = EncodedCalibration(ots::IdentityCalibParaX());
    calibration_[1] = EncodedCalibration(ots::IdentityCalibParaY());
}

Block CameraNvm::DeviceConfig() const {
    std::lock_guard lock(mutex_);
    return deviceConfig_;
}

void CameraNvm::StoreDeviceConfig(const Block& record) {
    std::lock_guard lock(mutex_);
    deviceConfig_ = record;
    ++writes_;
}

Block CameraNvm::Calibration(int axis) const {
    std::lock_guard lock(mutex_);
    return calibration_[AxisSlot(axis)];
}

void CameraNvm::StoreCalibration(int axis, const Block& record) {
    std::lock_guard lock(mutex_);
    calibration_[AxisSlot(axis)] = record;
    ++writes_;
}

std::size_t CameraNvm::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace ots::sim
