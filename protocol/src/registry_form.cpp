#include "protocol/registry_form.h"

#include <array>
#include <cstddef>

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace {

constexpr std::size_t WidthOf(FieldType type) {
    switch (type) {
        case FieldType::Byte:
            return 1;
        case FieldType::Word:
            return 2;
        case FieldType::Dword:
        case FieldType::Real4:
            return 4;
    }
    return 4;
}

template <std::size_t N>
constexpr bool AllWithin(const std::array<RegistryField, N>& fields, std::size_t recordSize) {
    for (const RegistryField& f : fields) {
        if (f.offset + WidthOf(f.type) > recordSize) {
            return false;
        }
    }
    return true;
}

bool Fits(std::span<const std::uint8_t> record, const RegistryField& field) {
    return field.offset + WidthOf(field.type) <= record.size();
}

namespace drv = layout::driver_config;
namespace scr = layout::screen_config;
namespace dev = layout::device_config;
namespace cal = layout::calib_para;

// Not the byte order of the record: the store has always walked the values in this order.
constexpr std::array kDriverConfigFields{
    RegistryField{L"Mode", drv::Mode, FieldType::Byte},
    RegistryField{L"EnableRightClick", drv::EnableRightClick, FieldType::Byte},
    RegistryField{L"RightClickArea", drv::RightClickArea, FieldType::Dword},
    RegistryField{L"RightClickTime", drv::RightClickTime, FieldType::Dword},
    RegistryField{L"EnableDoubleClick", drv::EnableDoubleClick, FieldType::Byte},
    RegistryField{L"DoubleClickTime", drv::DoubleClickTime, FieldType::Dword},
    RegistryField{L"DoubleClickArea", drv::DoubleClickArea, FieldType::Dword},
    RegistryField{L"HideCursor", drv::HideCursor, FieldType::Byte},
    RegistryField{L"EnableBeep", drv::EnableBeep, FieldType::Byte},
    RegistryField{L"BeepType", drv::BeepType, FieldType::Byte},
    RegistryField{L"BeepMode", drv::BeepMode, FieldType::Byte},
    RegistryField{L"BeepFrequency", drv::BeepFrequency, FieldType::Dword},
    RegistryField{L"BeepDuration", drv::BeepDuration, FieldType::Dword},
    RegistryField{L"EnableTouch", drv::EnableTouch, FieldType::Byte},
    RegistryField{L"CalibrateType", drv::CalibrateType, FieldType::Byte},
    RegistryField{L"Smoothness", drv::Smoothness, FieldType::Dword},
    RegistryField{L"IsCalibrating", drv::IsCalibrating, FieldType::Byte},
};

constexpr std::array kScreenConfigFields{
    RegistryField{L"MaxSpeed", scr::MaxSpeed, FieldType::Dword},
    RegistryField{L"VelocityRefCount", scr::VelocityRefCount, FieldType::Byte},
    RegistryField{L"VelocityWeight", scr::VelocityWeight, FieldType::Byte},
    RegistryField{L"pos", scr::pos, FieldType::Byte},
    RegistryField{L"s1", scr::s1, FieldType::Byte},
    RegistryField{L"width", scr::width, FieldType::Dword},
    RegistryField{L"hight", scr::hight, FieldType::Dword},
    RegistryField{L"fps", scr::fps, FieldType::Dword},
    RegistryField{L"camOffsetY", scr::camOffsetY, FieldType::Dword},
    RegistryField{L"camLOffsetX", scr::camLOffsetX, FieldType::Dword},
    RegistryField{L"camROffsetX", scr::camROffsetX, FieldType::Dword},
};

constexpr std::array kDeviceConfigFields{
    RegistryField{L"DeviceID", dev::DeviceID, FieldType::Byte},
    RegistryField{L"MonitorID", dev::MonitorID, FieldType::Byte},
    RegistryField{L"MinX", dev::MinX, FieldType::Word},
    RegistryField{L"MinY", dev::MinY, FieldType::Word},
    RegistryField{L"MaxX", dev::MaxX, FieldType::Word},
    RegistryField{L"MaxY", dev::MaxY, FieldType::Word},
    RegistryField{L"IsCalibrated", dev::IsCalibrated, FieldType::Byte},
    RegistryField{L"OffX", dev::OffX, FieldType::Dword},
    RegistryField{L"OffY", dev::OffY, FieldType::Dword},
    RegistryField{L"ResolutionX", dev::ResolutionX, FieldType::Word},
    RegistryField{L"ResolutionY", dev::ResolutionY, FieldType::Word},
    RegistryField{L"PrimaryResolutionX", dev::PrimaryResolutionX, FieldType::Word},
    RegistryField{L"PrimaryResolutionY", dev::PrimaryResolutionY, FieldType::Word},
};

// The six reserve fields carry value names of their own, so unlike the reserved bytes of the
// other records they are stored.
constexpr std::array kCalibParaFields{
    RegistryField{L"A03", cal::A03, FieldType::Real4},
    RegistryField{L"A12", cal::A12, FieldType::Real4},
    RegistryField{L"A21", cal::A21, FieldType::Real4},
    RegistryField{L"A30", cal::A30, FieldType::Real4},
    RegistryField{L"A02", cal::A02, FieldType::Real4},
    RegistryField{L"A11", cal::A11, FieldType::Real4},
    RegistryField{L"A20", cal::A20, FieldType::Real4},
    RegistryField{L"A01", cal::A01, FieldType::Real4},
    RegistryField{L"A10", cal::A10, FieldType::Real4},
    RegistryField{L"A00", cal::A00, FieldType::Real4},
    RegistryField{L"reserve0", cal::reserve0, FieldType::Dword},
    RegistryField{L"reserve1", cal::reserve1, FieldType::Dword},
    RegistryField{L"reserve2", cal::reserve2, FieldType::Dword},
    RegistryField{L"reserve3", cal::reserve3, FieldType::Dword},
    RegistryField{L"reserve4", cal::reserve4, FieldType::Byte},
    RegistryField{L"reserve5", cal::reserve5, FieldType::Byte},
};

static_assert(AllWithin(kDriverConfigFields, kDriverConfigSize));
static_assert(AllWithin(kScreenConfigFields, kScreenConfigSize));
static_assert(AllWithin(kDeviceConfigFields, kDeviceConfigSize));
static_assert(AllWithin(kCalibParaFields, kCalibParaSize));

}  // namespace

std::span<const RegistryField> DriverConfigFields() {
    return kDriverConfigFields;
}
std::span<const RegistryField> ScreenConfigFields() {
    return kScreenConfigFields;
}
std::span<const RegistryField> DeviceConfigFields() {
    return kDeviceConfigFields;
}
std::span<const RegistryField> CalibParaFields() {
    return kCalibParaFields;
}

std::uint32_t FieldToRegistry(std::span<const std::uint8_t> record, const RegistryField& field) {
    if (!Fits(record, field)) {
        return 0;
    }
    switch (field.type) {
        case FieldType::Byte:
            return record[field.offset];
        case FieldType::Word:
            return LoadU16(record, field.offset);
        case FieldType::Dword:
        case FieldType::Real4:
            return LoadU32(record, field.offset);
    }
    return 0;
}

void FieldFromRegistry(std::span<std::uint8_t> record, const RegistryField& field,
                       std::uint32_t value) {
    if (!Fits(record, field)) {
        return;
    }
    switch (field.type) {
        case FieldType::Byte:
            record[field.offset] = static_cast<std::uint8_t>(value);
            return;
        case FieldType::Word:
            StoreU16(record, field.offset, static_cast<std::uint16_t>(value));
            return;
        case FieldType::Dword:
        case FieldType::Real4:
            StoreU32(record, field.offset, value);
            return;
    }
}

}  // namespace ots
