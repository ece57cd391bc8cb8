// The registry: HKEY_LOCAL_MACHINE only. Key and value names are case-insensitive and
// case-preserving. All calls are thread-safe and return Win32 error codes (LONG).
//
// Key paths are backslash-separated; empty components are skipped, so a leading, doubled or
// trailing backslash is tolerated ("\A\\B\" names A\B). Names may not contain control
// characters (ERROR_INVALID_PARAMETER); key names are at most 255 characters, value names
// 16383, and keys nest at most 512 deep. A null or empty value name is the key's default value.
// Access masks are accepted and not enforced.
//
// A handle whose key is deleted meanwhile (by RegDeleteKeyW, a .reg import, a reset or the
// binding of a file) stays a valid handle: every call through it answers ERROR_KEY_DELETED
// until RegCloseKey closes it.
// RegCloseKey of an unknown or already closed handle answers ERROR_INVALID_HANDLE; closing
// HKEY_LOCAL_MACHINE succeeds and changes nothing.
#pragma once

#include "ce/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

inline const HKEY HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

inline constexpr DWORD ERROR_KEY_DELETED = 1018;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

extern "C" {

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);

// Missing value: ERROR_FILE_NOT_FOUND. Buffer too small: ERROR_MORE_DATA with *lpcbData set to
// the size needed and nothing written. A null lpData asks only for type and size. Sizes are in
// bytes; a REG_SZ holds the bytes it was set with (WCHAR is 4 bytes, and the terminating zero
// counts when the writer included it). The value is not checked against the caller's type.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key and everything below it. A null or empty lpSubKey: ERROR_INVALID_PARAMETER.
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);

// Enumeration, in the order the names sort case-insensitively. ERROR_NO_MORE_ITEMS past the end.
// Name buffers are sized in characters including the terminating zero; on success the count
// excludes it. A name that does not fit gives ERROR_MORE_DATA and nothing written. For values,
// data that does not fit gives ERROR_MORE_DATA with the name and type written and *lpcbData
// set to the size needed.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime);
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

}  // extern "C"

#define RegCreateKeyEx RegCreateKeyExW
#define RegOpenKeyEx RegOpenKeyExW
#define RegQueryValueEx RegQueryValueExW
#define RegSetValueEx RegSetValueExW
#define RegDeleteValue RegDeleteValueW
#define RegDeleteKey RegDeleteKeyW
