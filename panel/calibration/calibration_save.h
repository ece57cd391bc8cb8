// Saving a finished calibration run: the fit, the driver's calibration records, the calibrated
// screen area in the device configuration, and the re-initialisation that puts them in force.
// No window is involved, so the sequence runs the same from the dialog and from a test.
#pragma once

#include "ce/types.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"

// The samples of one run, in target order. Targets are in 1/32768 of the screen; samples in
// the units the dialog stored them (raw, times SampleScale).
struct CalibrationRun {
    const float* TargetX;
    const float* TargetY;
    const float* RawX;
    const float* RawY;
    INT32 PointCount;   // targets shown
    INT32 SampleCount;  // samples taken
};

// What a raw sample is multiplied by when the dialog stores it: 1 for the camera controller
// and the 0x0012 controller, 8 for every other one.
float SampleScale(UINT16 vendorId, UINT16 productId);

// A fit maps stored samples to 1/32768 units. The camera generation evaluates it so; the
// coordinate generation evaluates on unscaled raw values and takes the result as 1/4096 units,
// so its coefficients are rescaled to that reading: Aij * scale^(i+j) / 8. Powers of two keep
// the rescaling exact.
void ToDriverUnits(ots::CalibPara* pCalib, const ots::DeviceIdentity& identity);

// Fits the run, stores the polynomials, writes the screen bounds with IsCalibrated = 1 into
// *pDeviceCfg and the driver, and re-initialises the sensor. A run short of samples, a failed
// fit or a failed store writes nothing that would mark the device calibrated. TRUE only when
// the polynomials were stored and the device marked calibrated. The caller must hold no open
// handle of the device.
BOOL SaveCalibration(const CalibrationRun& run, const ots::DeviceIdentity& identity,
                     ots::DeviceConfig* pDeviceCfg);
