#include "protocol/driver_config.h"

#include <algorithm>

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::driver_config;

constexpr std::array<codec::Field<DriverConfig>, 17> kFields{{
    {at::Mode, &DriverConfig::Mode},
    {at::EnableTouch, &DriverConfig::EnableTouch},
    {at::EnableRightClick, &DriverConfig::EnableRightClick},
    {at::CalibrateType, &DriverConfig::CalibrateType},
    {at::EnableDoubleClick, &DriverConfig::EnableDoubleClick},
    {at::HideCursor, &DriverConfig::HideCursor},
    {at::EnableBeep, &DriverConfig::EnableBeep},
    {at::BeepType, &DriverConfig::BeepType},
    {at::BeepMode, &DriverConfig::BeepMode},
    {at::IsCalibrating, &DriverConfig::IsCalibrating},
    {at::BeepFrequency, &DriverConfig::BeepFrequency},
    {at::BeepDuration, &DriverConfig::BeepDuration},
    {at::Smoothness, &DriverConfig::Smoothness},
    {at::RightClickTime, &DriverConfig::RightClickTime},
    {at::RightClickArea, &DriverConfig::RightClickArea},
    {at::DoubleClickTime, &DriverConfig::DoubleClickTime},
    {at::DoubleClickArea, &DriverConfig::DoubleClickArea},
}};

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
    DriverConfig r = codec::Decode(bytes, kFields);
    std::copy_n(bytes.begin() + at::Reserved, at::ReservedSize, r.reserved.begin());
    return r;
}

void EncodeDriverConfig(const DriverConfig& record,
                        std::span<std::uint8_t, kDriverConfigSize> bytes) {
    codec::Encode(record, kFields, bytes);
    std::copy(record.reserved.begin(), record.reserved.end(), bytes.begin() + at::Reserved);
}

}  // namespace ots
