// Binding to the stream instance (OTS_Init and the port table), OTS_Deinit, and the single-open
// rule of OTS_Open and OTS_Close.
#include <gtest/gtest.h>

#include <string>

#include "core/context_table.h"
#include "core/entry_points.h"
#include "support/driver_fixture.h"
#include "protocol/registry_form.h"

namespace {

using ots::test::ReadString;
using ots::test::WriteDword;
using ots::test::WriteString;

const std::wstring kPorts = ots::kPortsKey;

class StreamTest : public ots::test::DriverCoreTest {
  protected:
    void SetUp() override {
        ots::test::DriverCoreTest::SetUp();
        device_ = Create(usb_);
        ASSERT_NE(device_, nullptr);
        cookie_ = device_->dwCookie;
    }

    // An active key as the device manager writes it.
    std::wstring ActiveKey(const std::wstring& number, const std::wstring& name, DWORD clientInfo) {
        std::wstring path = L"Drivers\\Active\\" + number;
        WriteString(path, L"Name", name);
        WriteDword(path, L"ClientInfo", clientInfo);
        return path;
    }

    ots::test::FakeUsb usb_;
    DEVICE_CONTEXT* device_ = nullptr;
    DWORD cookie_ = 0;
};

TEST_F(StreamTest, InitBindsTheContextAndClaimsTheFirstFreePort) {
    const std::wstring active = ActiveKey(L"01", L"OTS1:", cookie_);
    EXPECT_EQ(otsusb::OTS_Init(active.c_str(), nullptr), cookie_);
    EXPECT_EQ(ReadString(kPorts, L"Port1"), L"OTS1:");
    EXPECT_EQ(std::wstring(device_->szPortName), L"Port1");
    ASSERT_NE(device_->lpActivePath, nullptr);
    EXPECT_EQ(std::wstring(device_->lpActivePath), active);
}

TEST_F(StreamTest, ContextBindsOnlyOnce) {
    ASSERT_NE(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"02", L"OTS2:", cookie_).c_str(), nullptr), 0u);
    EXPECT_FALSE(ReadString(kPorts, L"Port2").has_value());
    // Releasing the port does not unbind.
    EXPECT_TRUE(otsusb::OTS_Deinit(cookie_));
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"03", L"OTS1:", cookie_).c_str(), nullptr), 0u);
}

TEST_F(StreamTest, InitRefusesAClientInfoThatNamesNoLiveContext) {
    EXPECT_EQ(otsusb::OTS_Init(nullptr, nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\77", nullptr), 0u) << "no such key";
    WriteString(L"Drivers\\Active\\78", L"Name", L"OTS1:");
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\78", nullptr), 0u) << "no ClientInfo";
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"79", L"OTS1:", 0).c_str(), nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"80", L"OTS1:", cookie_ + 0x10).c_str(), nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"81", L"OTS1:", 0x12345678).c_str(), nullptr), 0u);
    EXPECT_EQ(device_->lpActivePath, nullptr) << "a refused call binds nothing";
    EXPECT_TRUE(ots::test::ValueNames(kPorts).empty());
}

TEST_F(StreamTest, PortNamingAnotherDeviceIsSkipped) {
    WriteString(kPorts, L"Port1", L"OTS2:");
    ASSERT_EQ(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), cookie_);
    EXPECT_EQ(ReadString(kPorts, L"Port1"), L"OTS2:");
    EXPECT_EQ(ReadString(kPorts, L"Port2"), L"OTS1:");
    EXPECT_EQ(std::wstring(device_->szPortName), L"Port2");
}

TEST_F(StreamTest, PortAlreadyNamingThisDeviceIsReusedAndKeptAtDeinit) {
    WriteString(kPorts, L"Port1", L"OTS2:");
    WriteString(kPorts, L"Port2", L"OTS1:");
    ASSERT_EQ(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), cookie_);
    EXPECT_FALSE(ReadString(kPorts, L"Port3").has_value()) << "the existing claim is used";
    EXPECT_EQ(device_->szPortName[0], L'\0');
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_));
    EXPECT_EQ(ReadString(kPorts, L"Port2"), L"OTS1:");
}

TEST_F(StreamTest, NoFreePortFailsTheInit) {
    for (int n = 1; n <= 9; ++n) {
        WriteString(kPorts, L"Port" + std::to_wstring(n), L"OTS9:");
    }
    EXPECT_EQ(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), 0u);
    EXPECT_EQ(ots::test::ValueNames(kPorts).size(), 9u);
}

TEST_F(StreamTest, UnreadablePortValueIsNotOverwritten) {
    // A port value too long to read is somebody's claim all the same.
    WriteString(kPorts, L"Port1", std::wstring(300, L'X'));
    ASSERT_EQ(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), cookie_);
    EXPECT_EQ(ReadString(kPorts, L"Port2"), L"OTS1:");
}

TEST_F(StreamTest, ActiveKeyWithoutANameClaimsNothing) {
    WriteDword(L"Drivers\\Active\\01", L"ClientInfo", cookie_);
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\01", nullptr), 0u);
    EXPECT_TRUE(ots::test::ValueNames(kPorts).empty());
}

TEST_F(StreamTest, DeinitReleasesTheClaimedPort) {
    ASSERT_NE(otsusb::OTS_Init(ActiveKey(L"01", L"OTS1:", cookie_).c_str(), nullptr), 0u);
    EXPECT_TRUE(otsusb::OTS_Deinit(cookie_));
    EXPECT_FALSE(ReadString(kPorts, L"Port1").has_value());
    EXPECT_EQ(device_->szPortName[0], L'\0');
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_)) << "nothing left to release";
    EXPECT_FALSE(otsusb::OTS_Deinit(0));
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_ + 0x10));
}

TEST_F(StreamTest, ClosingContextRefusesOpen) {
    device_->Flags.store(DEVICE_FLAG_CLOSING);
    SetLastError(0);
    EXPECT_EQ(otsusb::OTS_Open(cookie_, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 5u);
}

TEST_F(StreamTest, BadContextsSetTheirErrors) {
    SetLastError(0);
    EXPECT_EQ(otsusb::OTS_Open(cookie_ + 0x10, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(0);
    EXPECT_FALSE(otsusb::OTS_Close(0));
    EXPECT_EQ(GetLastError(), 6u);
    device_->dwSig = 0;  // unsigned: refused although the cookie is live
    SetLastError(0);
    EXPECT_EQ(otsusb::OTS_Open(cookie_, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 2u);
    device_->dwSig = DEVICE_SIG;
}

}  // namespace
