#include "protocol/screen_config.h"

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::screen_config;

constexpr std::array<codec::Field<ScreenConfig>, 11> kFields{{
    {at::MaxSpeed, &ScreenConfig::MaxSpeed},
    {at::VelocityRefCount, &ScreenConfig::VelocityRefCount},
    {at::VelocityWeight, &ScreenConfig::VelocityWeight},
    {at::pos, &ScreenConfig::pos},
    {at::s1, &ScreenConfig::s1},
    {at::width, &ScreenConfig::width},
    {at::hight, &ScreenConfig::hight},
    {at::fps, &ScreenConfig::fps},
    {at::camOffsetY, &ScreenConfig::camOffsetY},
    {at::camLOffsetX, &ScreenConfig::camLOffsetX},
    {at::camROffsetX, &ScreenConfig::camROffsetX},
}};

ScreenConfig DefaultScreenConfig() {
    ScreenConfig r{};
    r.MaxSpeed = 15000;
    r.VelocityRefCount = 5;
    r.VelocityWeight = 20;
    return r;
}

ScreenConfig DecodeScreenConfig(std::span<const std::uint8_t, kScreenConfigSize> bytes) {
    return codec::Decode(bytes, kFields);
}

void EncodeScreenConfig(const ScreenConfig& record,
                        std::span<std::uint8_t, kScreenConfigSize> bytes) {
    codec::Encode(record, kFields, bytes);
}

}  // namespace ots
