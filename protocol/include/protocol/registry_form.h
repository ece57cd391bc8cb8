// How each record lives in the registry: one REG_DWORD per named field, in the load (and save)
// order; narrow fields zero-extended, REAL4 fields as their bit pattern. Reserved fields have no
// value name and are neither loaded nor saved.
#pragma once

#include <cstdint>
#include <span>

namespace ots {

enum class FieldType : std::uint8_t { Byte, Word, Dword, Real4 };

struct RegistryField {
    const wchar_t* name;  // the value name, exactly as stored
    std::uint8_t offset;  // byte offset in the record
    FieldType type;
};

// In load and save order.
std::span<const RegistryField> DriverConfigFields();
std::span<const RegistryField> ScreenConfigFields();
std::span<const RegistryField> DeviceConfigFields();
std::span<const RegistryField> CalibParaFields();

// The registry DWORD of a field of a record's bytes, and back (a Byte field takes the low byte
// of the value, a Word field the low word). A field that does not lie within the given bytes
// reads as 0 and is not written.
std::uint32_t FieldToRegistry(std::span<const std::uint8_t> record, const RegistryField& field);
void FieldFromRegistry(std::span<std::uint8_t> record, const RegistryField& field,
                       std::uint32_t value);

// Key names below HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* kClientDriverKey = L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class";
inline constexpr const wchar_t* kDriverConfigKey =
    L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig";
inline constexpr const wchar_t* kScreenConfigKey =
    L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\ScreenConfig";
inline constexpr const wchar_t* kDeviceConfigKey =
    L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DeviceConfig";
inline constexpr const wchar_t* kCalibParaXKey =
    L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\CalibParaX";
inline constexpr const wchar_t* kCalibParaYKey =
    L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\CalibParaY";
inline constexpr const wchar_t* kPortsKey = L"OtsUSB\\Ports";
inline constexpr const wchar_t* kQueuedTransferCountValue = L"QueuedTransferCount";
inline constexpr const wchar_t* kClientDriverId = L"OtsUSB_Class";

}  // namespace ots
