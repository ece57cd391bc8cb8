#include "protocol/device_config.h"

#include <algorithm>

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::device_config;

constexpr std::array<codec::Field<DeviceConfig>, 13> kFields{{
    {at::DeviceID, &DeviceConfig::DeviceID},
    {at::MonitorID, &DeviceConfig::MonitorID},
    {at::MinX, &DeviceConfig::MinX},
    {at::MinY, &DeviceConfig::MinY},
    {at::MaxX, &DeviceConfig::MaxX},
    {at::MaxY, &DeviceConfig::MaxY},
    {at::IsCalibrated, &DeviceConfig::IsCalibrated},
    {at::OffX, &DeviceConfig::OffX},
    {at::OffY, &DeviceConfig::OffY},
    {at::ResolutionX, &DeviceConfig::ResolutionX},
    {at::ResolutionY, &DeviceConfig::ResolutionY},
    {at::PrimaryResolutionX, &DeviceConfig::PrimaryResolutionX},
    {at::PrimaryResolutionY, &DeviceConfig::PrimaryResolutionY},
}};

DeviceConfig DecodeDeviceConfig(std::span<const std::uint8_t, kDeviceConfigSize> bytes) {
    DeviceConfig r = codec::Decode(bytes, kFields);
    std::copy_n(bytes.begin() + at::Reserved, at::ReservedSize, r.reserved.begin());
    return r;
}

void EncodeDeviceConfig(const DeviceConfig& record,
                        std::span<std::uint8_t, kDeviceConfigSize> bytes) {
    codec::Encode(record, kFields, bytes);
    std::copy(record.reserved.begin(), record.reserved.end(), bytes.begin() + at::Reserved);
}

}  // namespace ots
