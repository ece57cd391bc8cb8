#include "protocol/driver_config.h"

#include <algorithm>

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::driver_config;

DriverConfig DefaultDriverConfig() {
    DriverConfig r{};
    r.Mode = 2;  // mouse emulation
    r.EnableTouch = 1;
    r.EnableRightClick = 1;
    r.CalibrateType = 1;
    r.EnableDoubleClick = 1;
    r.HideCursor = 0;
    r.EnableBeep = 0;
    r.BeepType = 1;
    r.BeepMode = 1;
    r.IsCalibrating = 0;
    r.BeepFrequency = 2000;  // Hz
    r.BeepDuration = 100;    // ms
    r.Smoothness = 1;
    r.RightClickTime = 1000;  // ms
    r.RightClickArea = 4;
    r.DoubleClickTime = 500;  // ms
    r.DoubleClickArea = 4;
    return r;
}

DriverConfig DecodeDriverConfig(std::span<const std::uint8_t, kDriverConfigSize> bytes) {
    DriverConfig r{};
    r.Mode = bytes[at::Mode];
    r.EnableTouch = bytes[at::EnableTouch];
    r.EnableRightClick = bytes[at::EnableRightClick];
    r.CalibrateType = bytes[at::CalibrateType];
    r.EnableDoubleClick = bytes[at::EnableDoubleClick];
    r.HideCursor = bytes[at::HideCursor];
    r.EnableBeep = bytes[at::EnableBeep];
    r.BeepType = bytes[at::BeepType];
    r.BeepMode = bytes[at::BeepMode];
    r.IsCalibrating = bytes[at::IsCalibrating];
    r.BeepFrequency = LoadU32(bytes, at::BeepFrequency);
    r.BeepDuration = LoadU32(bytes, at::BeepDuration);
    r.Smoothness = LoadU32(bytes, at::Smoothness);
    r.RightClickTime = LoadU32(bytes, at::RightClickTime);
    r.RightClickArea = LoadU32(bytes, at::RightClickArea);
    r.DoubleClickTime = LoadU32(bytes, at::DoubleClickTime);
    r.DoubleClickArea = LoadU32(bytes, at::DoubleClickArea);
    std::copy_n(bytes.begin() + at::Reserved, at::ReservedSize, r.reserved.begin());
    return r;
}

void EncodeDriverConfig(const DriverConfig& record,
                        std::span<std::uint8_t, kDriverConfigSize> bytes) {
    bytes[at::Mode] = record.Mode;
    bytes[at::EnableTouch] = record.EnableTouch;
    bytes[at::EnableRightClick] = record.EnableRightClick;
    bytes[at::CalibrateType] = record.CalibrateType;
    bytes[at::EnableDoubleClick] = record.EnableDoubleClick;
    bytes[at::HideCursor] = record.HideCursor;
    bytes[at::EnableBeep] = record.EnableBeep;
    bytes[at::BeepType] = record.BeepType;
    bytes[at::BeepMode] = record.BeepMode;
    bytes[at::IsCalibrating] = record.IsCalibrating;
    StoreU32(bytes, at::BeepFrequency, record.BeepFrequency);
    StoreU32(bytes, at::BeepDuration, record.BeepDuration);
    StoreU32(bytes, at::Smoothness, record.Smoothness);
    StoreU32(bytes, at::RightClickTime, record.RightClickTime);
    StoreU32(bytes, at::RightClickArea, record.RightClickArea);
    StoreU32(bytes, at::DoubleClickTime, record.DoubleClickTime);
    StoreU32(bytes, at::DoubleClickArea, record.DoubleClickArea);
    std::copy(record.reserved.begin(), record.reserved.end(), bytes.begin() + at::Reserved);
}

}  // namespace ots
