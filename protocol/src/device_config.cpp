#include "protocol/device_config.h"

#include <algorithm>

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::device_config;

DeviceConfig DecodeDeviceConfig(std::span<const std::uint8_t, kDeviceConfigSize> bytes) {
    DeviceConfig r{};
    r.DeviceID = bytes[at::DeviceID];
    r.MonitorID = bytes[at::MonitorID];
    r.MinX = LoadU16(bytes, at::MinX);
    r.MinY = LoadU16(bytes, at::MinY);
    r.MaxX = LoadU16(bytes, at::MaxX);
    r.MaxY = LoadU16(bytes, at::MaxY);
    r.IsCalibrated = bytes[at::IsCalibrated];
    r.OffX = LoadU32(bytes, at::OffX);
    r.OffY = LoadU32(bytes, at::OffY);
    r.ResolutionX = LoadU16(bytes, at::ResolutionX);
    r.ResolutionY = LoadU16(bytes, at::ResolutionY);
    r.PrimaryResolutionX = LoadU16(bytes, at::PrimaryResolutionX);
    r.PrimaryResolutionY = LoadU16(bytes, at::PrimaryResolutionY);
    std::copy_n(bytes.begin() + at::Reserved, at::ReservedSize, r.reserved.begin());
    return r;
}

void EncodeDeviceConfig(const DeviceConfig& record,
                        std::span<std::uint8_t, kDeviceConfigSize> bytes) {
    bytes[at::DeviceID] = record.DeviceID;
    bytes[at::MonitorID] = record.MonitorID;
    StoreU16(bytes, at::MinX, record.MinX);
    StoreU16(bytes, at::MinY, record.MinY);
    StoreU16(bytes, at::MaxX, record.MaxX);
    StoreU16(bytes, at::MaxY, record.MaxY);
    bytes[at::IsCalibrated] = record.IsCalibrated;
    StoreU32(bytes, at::OffX, record.OffX);
    StoreU32(bytes, at::OffY, record.OffY);
    StoreU16(bytes, at::ResolutionX, record.ResolutionX);
    StoreU16(bytes, at::ResolutionY, record.ResolutionY);
    StoreU16(bytes, at::PrimaryResolutionX, record.PrimaryResolutionX);
    StoreU16(bytes, at::PrimaryResolutionY, record.PrimaryResolutionY);
    std::copy(record.reserved.begin(), record.reserved.end(), bytes.begin() + at::Reserved);
}

}  // namespace ots
