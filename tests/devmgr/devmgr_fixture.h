// Shared set-up of the device manager tests: a clean registry with a device key that names the
// test stream driver, access to that driver's record of calls, and registry look-ups.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ce/devmgr.h"
#include "ce/types.h"
#include "tst_stream_driver.h"

namespace devmgr_test {

inline constexpr const wchar_t* kTestKey = L"Drivers\\Test\\TstStream";
inline constexpr const wchar_t* kActiveRoot = L"Drivers\\Active";
// The test driver's file name, as the device key names it (found beside the test program).
inline constexpr const wchar_t* kTestDriverFile = L"" TST_DRIVER_FILE_NAME;

// The test driver's state object (the test keeps its own reference to the library, so the state
// outlives every deactivation).
tst::DriverState& Driver();

void WriteString(const std::wstring& key, const wchar_t* name, const std::wstring& value);
void WriteDword(const std::wstring& key, const wchar_t* name, DWORD value);
std::optional<std::wstring> ReadString(const std::wstring& key, const wchar_t* name);
std::optional<DWORD> ReadDword(const std::wstring& key, const wchar_t* name);
bool KeyExists(const std::wstring& key);
std::vector<std::wstring> Subkeys(const std::wstring& key);

// Names of the active devices, in order.
std::vector<std::wstring> ActiveNames();

// Polls (real time, bounded generously) until the condition holds.
bool WaitUntil(const std::function<bool()>& condition);

class DevmgrTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // ActivateDevice on the test key; the handle is deactivated at the end of the test.
    HANDLE Activate(DWORD clientInfo = 0);
    HANDLE ActivateKey(const wchar_t* key, DWORD clientInfo = 0);
    BOOL Deactivate(HANDLE device);

  private:
    std::vector<HANDLE> activations_;
};

}  // namespace devmgr_test
