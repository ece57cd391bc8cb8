#include "core/registry_store.h"

#include <array>
#include <cstring>
#include <span>

#include "ce/registry.h"
#include "protocol/bytes.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/driver_config.h"
#include "protocol/registry_form.h"
#include "protocol/screen_config.h"
#include "touch/touch_data.h"
#include "touch/touch_lock.h"

namespace {

HKEY OpenOrCreateKey(LPCWSTR lpKeyPath) {
    HKEY hKey = nullptr;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, lpKeyPath, 0, nullptr, 0, 0, nullptr, &hKey,
                        &dwDisposition) != ERROR_SUCCESS) {
        return nullptr;
    }
    return hKey;
}

// Each named field of a record, read with the default record's value as its default.
void LoadFields(LPCWSTR lpKeyPath, std::span<const ots::RegistryField> fields,
                std::span<const std::uint8_t> defaults, std::span<std::uint8_t> record) {
    std::memcpy(record.data(), defaults.data(), record.size());
    for (const ots::RegistryField& field : fields) {
        DWORD dwValue = 0;
        ReadConfigValue(lpKeyPath, field.name, &dwValue, ots::FieldToRegistry(defaults, field));
        ots::FieldFromRegistry(record, field, dwValue);
    }
}

void SaveFields(LPCWSTR lpKeyPath, std::span<const ots::RegistryField> fields,
                std::span<const std::uint8_t> record) {
    for (const ots::RegistryField& field : fields) {
        WriteConfigValue(lpKeyPath, field.name, ots::FieldToRegistry(record, field));
    }
}

// A zero record: CalibPara and DeviceConfig default to all zeros.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> kZeroRecord{};

ots::CalibPara LoadOneCalibPara(LPCWSTR lpKeyPath) {
    std::array<std::uint8_t, ots::kCalibParaSize> bytes{};
    LoadFields(lpKeyPath, ots::CalibParaFields(), kZeroRecord<ots::kCalibParaSize>, bytes);
    return ots::DecodeCalibPara(bytes);
}

// The live record is read under csTouch, the registry written outside it.
template <class Record, std::size_t N, class Encode>
std::array<std::uint8_t, N> SnapshotRecord(DEVICE_CONTEXT* pDevice, const Record& live,
                                           Encode encode) {
    std::array<std::uint8_t, N> bytes{};
    const TouchLock lock(*pDevice);
    encode(live, std::span<std::uint8_t, N>(bytes));
    return bytes;
}

}  // namespace

BOOL ReadConfigValue(LPCWSTR lpKeyPath, LPCWSTR lpValueName, DWORD* pdwValue, DWORD dwDefault) {
    *pdwValue = dwDefault;
    HKEY hKey = OpenOrCreateKey(lpKeyPath);
    if (hKey == nullptr) {
        return FALSE;
    }
    BYTE buffer[4] = {};
    DWORD cbData = sizeof(buffer);
    const LONG lResult = RegQueryValueExW(hKey, lpValueName, nullptr, nullptr, buffer, &cbData);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS) {
        return FALSE;
    }
    *pdwValue = ots::LoadU32(buffer, 0);
    return TRUE;
}

void WriteConfigValue(LPCWSTR lpKeyPath, LPCWSTR lpValueName, DWORD dwValue) {
    HKEY hKey = OpenOrCreateKey(lpKeyPath);
    if (hKey == nullptr) {
        return;
    }
    BYTE buffer[4] = {};
    ots::StoreU32(buffer, 0, dwValue);
    RegSetValueExW(hKey, lpValueName, 0, REG_DWORD, buffer, sizeof(buffer));
    RegCloseKey(hKey);
}

void LoadDriverConfig(DEVICE_CONTEXT* pDevice) {
    std::array<std::uint8_t, ots::kDriverConfigSize> defaults{};
    ots::EncodeDriverConfig(ots::DefaultDriverConfig(), defaults);
    std::array<std::uint8_t, ots::kDriverConfigSize> bytes{};
    LoadFields(ots::kDriverConfigKey, ots::DriverConfigFields(), defaults, bytes);
    pDevice->DriverConfig = ots::DecodeDriverConfig(bytes);
    // A calibration session never outlives the attach it ran in (a stored 1 is stale).
    pDevice->DriverConfig.IsCalibrating = 0;
}

void LoadScreenConfig(DEVICE_CONTEXT* pDevice) {
    std::array<std::uint8_t, ots::kScreenConfigSize> defaults{};
    ots::EncodeScreenConfig(ots::DefaultScreenConfig(), defaults);
    std::array<std::uint8_t, ots::kScreenConfigSize> bytes{};
    LoadFields(ots::kScreenConfigKey, ots::ScreenConfigFields(), defaults, bytes);
    pDevice->ScreenConfig = ots::DecodeScreenConfig(bytes);
}

void LoadCalibPara(DEVICE_CONTEXT* pDevice) {
    pDevice->pTouchData->CalibParaX = LoadOneCalibPara(ots::kCalibParaXKey);
    pDevice->pTouchData->CalibParaY = LoadOneCalibPara(ots::kCalibParaYKey);
}

void LoadDeviceConfig(DEVICE_CONTEXT* pDevice) {
    std::array<std::uint8_t, ots::kDeviceConfigSize> bytes{};
    LoadFields(ots::kDeviceConfigKey, ots::DeviceConfigFields(),
               kZeroRecord<ots::kDeviceConfigSize>, bytes);
    pDevice->pTouchData->DeviceConfig = ots::DecodeDeviceConfig(bytes);
}

BOOL SaveDriverConfig(DEVICE_CONTEXT* pDevice) {
    const auto bytes = SnapshotRecord<ots::DriverConfig, ots::kDriverConfigSize>(
        pDevice, pDevice->DriverConfig, ots::EncodeDriverConfig);
    SaveFields(ots::kDriverConfigKey, ots::DriverConfigFields(), bytes);
    return TRUE;
}

BOOL SaveDeviceConfig(DEVICE_CONTEXT* pDevice) {
    const auto bytes = SnapshotRecord<ots::DeviceConfig, ots::kDeviceConfigSize>(
        pDevice, pDevice->pTouchData->DeviceConfig, ots::EncodeDeviceConfig);
    SaveFields(ots::kDeviceConfigKey, ots::DeviceConfigFields(), bytes);
    return TRUE;
}

BOOL SaveCalibPara(DEVICE_CONTEXT* pDevice, DWORD dwAxis) {
    if (dwAxis > 1) {
        return TRUE;
    }
    const ots::CalibPara& live =
        dwAxis == 0 ? pDevice->pTouchData->CalibParaX : pDevice->pTouchData->CalibParaY;
    const auto bytes =
        SnapshotRecord<ots::CalibPara, ots::kCalibParaSize>(pDevice, live, ots::EncodeCalibPara);
    SaveFields(dwAxis == 0 ? ots::kCalibParaXKey : ots::kCalibParaYKey, ots::CalibParaFields(),
               bytes);
    return TRUE;
}
