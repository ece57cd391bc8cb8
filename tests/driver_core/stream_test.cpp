// Binding to the stream instance (OTS_Init and the port table), OTS_Deinit, and the single-open
// rule of OTS_Open and OTS_Close.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ce/host/registry_store.h"
#include "core/entry_points.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"

namespace ots::test {
namespace {

const std::wstring kPorts = ots::kPortsKey;

class StreamTest : public DriverCoreTest {
  protected:
    void SetUp() override {
        DriverCoreTest::SetUp();
        device_ = Create(usb_);
        ASSERT_NE(device_, nullptr);
        cookie_ = device_->dwCookie;
    }
    // An active key as the device manager writes it.
    std::wstring ActiveKey(const std::wstring& number, const std::wstring& name, DWORD clientInfo) {
        const std::wstring path = L"Drivers\\Active\\" + number;
        WriteString(path, L"Name", name);
        WriteDword(path, L"ClientInfo", clientInfo);
        return path;
    }
    DWORD Init(const std::wstring& number = L"01", const std::wstring& name = L"OTS1:") {
        return otsusb::OTS_Init(ActiveKey(number, name, cookie_).c_str(), nullptr);
    }

    DEVICE_CONTEXT* device_ = nullptr;
    DWORD cookie_ = 0;
};

TEST_F(StreamTest, InitClaimsTheFirstPortThatIsFreeOrAlreadyNamesTheDevice) {
    const struct {
        const char* name;
        std::vector<std::pair<int, std::wstring>> before;  // Port<n> values planted
        bool bound;
        const wchar_t* claimed;  // the port value now naming OTS1:, null: none added
    } rows[] = {
        {"empty table", {}, true, L"Port1"},
        {"another device's port is skipped", {{1, L"OTS2:"}}, true, L"Port2"},
        {"a value too long to read is a claim all the same",
         {{1, std::wstring(300, L'X')}},
         true,
         L"Port2"},
        {"an existing claim is reused", {{1, L"OTS2:"}, {2, L"OTS1:"}}, true, nullptr},
        {"no port free",
         {{1, L"a"},
          {2, L"b"},
          {3, L"c"},
          {4, L"d"},
          {5, L"e"},
          {6, L"f"},
          {7, L"g"},
          {8, L"h"},
          {9, L"i"}},
         false,
         nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ce::host::ResetRegistry();
        device_->lpActivePath = nullptr;
        device_->szPortName[0] = L'\0';
        for (const auto& [n, value] : row.before) {
            WriteString(kPorts, L"Port" + std::to_wstring(n), value);
        }
        EXPECT_EQ(Init(), row.bound ? cookie_ : 0u);
        EXPECT_EQ(ValueNames(kPorts).size(), row.before.size() + (row.claimed ? 1 : 0));
        EXPECT_EQ(std::wstring(device_->szPortName), row.claimed ? row.claimed : L"");
        if (row.claimed != nullptr) {
            EXPECT_EQ(ReadString(kPorts, row.claimed), L"OTS1:");
            EXPECT_EQ(std::wstring(device_->lpActivePath), L"Drivers\\Active\\01");
        }
        for (const auto& [n, value] : row.before) {
            if (value.size() < 100) {  // what the probe can read back
                EXPECT_EQ(ReadString(kPorts, L"Port" + std::to_wstring(n)), value) << "kept";
            }
        }
        EXPECT_FALSE(otsusb::OTS_Deinit(0));
        if (row.bound && row.claimed == nullptr) {
            EXPECT_FALSE(otsusb::OTS_Deinit(cookie_)) << "a reused claim is kept";
        }
    }
}

TEST_F(StreamTest, ContextBindsOnlyOnceAndDeinitReleasesItsPort) {
    ASSERT_EQ(Init(), cookie_);
    EXPECT_EQ(Init(L"02", L"OTS2:"), 0u);
    EXPECT_FALSE(ReadString(kPorts, L"Port2").has_value());
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_ + 0x10));
    SetLastError(0);
    EXPECT_FALSE(otsusb::OTS_Close(0));
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_TRUE(otsusb::OTS_Deinit(cookie_));
    EXPECT_FALSE(ReadString(kPorts, L"Port1").has_value());
    EXPECT_EQ(device_->szPortName[0], L'\0');
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_)) << "nothing left to release";
    EXPECT_EQ(Init(L"03"), 0u) << "releasing the port does not unbind";
}

TEST_F(StreamTest, InitRefusesAnActiveKeyThatNamesNoLiveContextOrNoDevice) {
    EXPECT_EQ(otsusb::OTS_Init(nullptr, nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\77", nullptr), 0u) << "no such key";
    WriteString(L"Drivers\\Active\\78", L"Name", L"OTS1:");
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\78", nullptr), 0u) << "no ClientInfo";
    for (DWORD clientInfo : {DWORD{0}, cookie_ + 0x10, DWORD{0x12345678}}) {
        EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"80", L"OTS1:", clientInfo).c_str(), nullptr), 0u);
    }
    EXPECT_EQ(device_->lpActivePath, nullptr) << "a refused call binds nothing";
    WriteDword(L"Drivers\\Active\\79", L"ClientInfo", cookie_);
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\79", nullptr), 0u) << "no Name";
    EXPECT_TRUE(ValueNames(kPorts).empty());
}

}  // namespace
}  // namespace ots::test
