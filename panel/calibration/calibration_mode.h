// The driver's calibration mode as the panel enters and leaves it. While a calibration runs the
// driver clicks on release and passes raw positions (Mode 1, IsCalibrating 1); the user's own
// mode travels with the record in its first reserved byte, which the driver carries unchanged,
// so that a panel started after one that died mid-calibration can give it back.
#pragma once

#include "ce/types.h"
#include "protocol/driver_config.h"

// The record that puts the driver into calibration mode, from the user's own settings.
ots::DriverConfig CalibratingConfig(const ots::DriverConfig& own);

// The user's own settings from a record read from the driver: out of calibration mode, in the
// mode kept when it began (the record's own Mode when none was kept).
ots::DriverConfig OwnConfig(const ots::DriverConfig& live);

// At start-up (one panel runs at a time): a driver found in calibration mode was left there by
// a panel that ended mid-calibration; it goes back to the user's own settings. TRUE when such a
// calibration was found (the task bar it hid is then hidden still).
BOOL EndStaleCalibration();
