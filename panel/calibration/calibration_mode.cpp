#include "calibration/calibration_mode.h"

#include "device/device_access.h"

namespace {

constexpr UINT8 kClickOnRelease = 1;
constexpr std::size_t kKeptModeSlot = 0;  // reserved byte 38 of the record
constexpr UINT8 kModeKept = 0x80;         // set when the slot holds a mode

}  // namespace

ots::DriverConfig CalibratingConfig(const ots::DriverConfig& own) {
    ots::DriverConfig calibrating = own;
    calibrating.Mode = kClickOnRelease;
    calibrating.IsCalibrating = 1;
    calibrating.reserved[kKeptModeSlot] = static_cast<UINT8>(kModeKept | (own.Mode & ~kModeKept));
    return calibrating;
}

ots::DriverConfig OwnConfig(const ots::DriverConfig& live) {
    ots::DriverConfig own = live;
    if (live.IsCalibrating == 0) {
        return own;
    }
    const UINT8 kept = live.reserved[kKeptModeSlot];
    if ((kept & kModeKept) != 0) {
        own.Mode = static_cast<UINT8>(kept & ~kModeKept);
    }
    own.IsCalibrating = 0;
    own.reserved[kKeptModeSlot] = 0;
    return own;
}

BOOL EndStaleCalibration() {
    ots::DriverConfig live{};
    if (!GetDriverConfig(&live, 0) || live.IsCalibrating == 0) {
        return FALSE;
    }
    const ots::DriverConfig own = OwnConfig(live);
    SetDriverConfig(&own);
    return TRUE;
}
