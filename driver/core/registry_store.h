// The registry configuration store: the five settings records, one key each below the client
// driver key, one REG_DWORD per named field. Loads and saves never report failure.
#pragma once

#include "ce/types.h"
#include "core/device_context.h"

// Reads one value into a 4-byte buffer without looking at its type (a missing key is created).
// A value that cannot be read gives dwDefault. A stored value shorter than 4 bytes fills the low
// bytes of a zeroed buffer, so it reads zero-extended. Returns TRUE when the stored value was used.
BOOL ReadConfigValue(LPCWSTR lpKeyPath, LPCWSTR lpValueName, DWORD* pdwValue, DWORD dwDefault);

// Writes one REG_DWORD (creating the key); failures are ignored.
void WriteConfigValue(LPCWSTR lpKeyPath, LPCWSTR lpValueName, DWORD dwValue);

// Fill the live copies from the registry; missing values take their defaults, reserved bytes
// come out zero.
void LoadDriverConfig(DEVICE_CONTEXT* pDevice);
void LoadScreenConfig(DEVICE_CONTEXT* pDevice);
void LoadCalibPara(DEVICE_CONTEXT* pDevice);  // both axes, X first
void LoadDeviceConfig(DEVICE_CONTEXT* pDevice);

// Write every named field of the live copy; always TRUE. SaveCalibPara saves axis 0 (X) or
// 1 (Y) and nothing for any other axis.
BOOL SaveDriverConfig(DEVICE_CONTEXT* pDevice);
BOOL SaveDeviceConfig(DEVICE_CONTEXT* pDevice);
BOOL SaveCalibPara(DEVICE_CONTEXT* pDevice, DWORD dwAxis);
