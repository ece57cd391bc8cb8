// The camera controller's non-volatile memory: the device configuration (block 0x30 index 1,
// stored by 0x31) and the two calibration records (block 0x14, stored by 0x15). It outlives a
// device instance: whoever plugs the controller keeps one CameraNvm per physical controller
// and hands it to every new instance, so a record stored before an unplug is read back after
// the re-plug. Thread-safe.
#pragma once

#include <cstddef>
#include <mutex>

#include "sim/camera_blocks.h"

namespace ots::sim {

class CameraNvm {
  public:
    // Factory contents: a DeviceConfig of zeros (not calibrated) with DeviceID 0xFF, no id
    // assigned yet; identity calibration records (x: A10 = 1, y: A01 = 1).
    CameraNvm();

    Block DeviceConfig() const;
    void StoreDeviceConfig(const Block& record);

    // axis 0 = x, 1 = y
    Block Calibration(int axis) const;
    void StoreCalibration(int axis, const Block& record);

    // Records written since the memory was made.
    std::size_t Writes() const;

  private:
    mutable std::mutex mutex_;
    Block deviceConfig_{};
    Block calibration_[2]{};
    std::size_t writes_ = 0;
};

}  // namespace ots::sim
