#include "protocol/screen_config.h"

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::screen_config;

ScreenConfig DefaultScreenConfig() {
    ScreenConfig r{};
    r.MaxSpeed = 15000;
    r.VelocityRefCount = 5;
    r.VelocityWeight = 20;
    return r;
}

ScreenConfig DecodeScreenConfig(std::span<const std::uint8_t, kScreenConfigSize> bytes) {
    ScreenConfig r{};
    r.MaxSpeed = LoadU32(bytes, at::MaxSpeed);
    r.VelocityRefCount = bytes[at::VelocityRefCount];
    r.VelocityWeight = bytes[at::VelocityWeight];
    r.pos = bytes[at::pos];
    r.s1 = bytes[at::s1];
    r.width = LoadU32(bytes, at::width);
    r.hight = LoadU32(bytes, at::hight);
    r.fps = LoadU32(bytes, at::fps);
    r.camOffsetY = LoadU32(bytes, at::camOffsetY);
    r.camLOffsetX = LoadU32(bytes, at::camLOffsetX);
    r.camROffsetX = LoadU32(bytes, at::camROffsetX);
    return r;
}

void EncodeScreenConfig(const ScreenConfig& record,
                        std::span<std::uint8_t, kScreenConfigSize> bytes) {
    StoreU32(bytes, at::MaxSpeed, record.MaxSpeed);
    bytes[at::VelocityRefCount] = record.VelocityRefCount;
    bytes[at::VelocityWeight] = record.VelocityWeight;
    bytes[at::pos] = record.pos;
    bytes[at::s1] = record.s1;
    StoreU32(bytes, at::width, record.width);
    StoreU32(bytes, at::hight, record.hight);
    StoreU32(bytes, at::fps, record.fps);
    StoreU32(bytes, at::camOffsetY, record.camOffsetY);
    StoreU32(bytes, at::camLOffsetX, record.camLOffsetX);
    StoreU32(bytes, at::camROffsetX, record.camROffsetX);
}

}  // namespace ots
