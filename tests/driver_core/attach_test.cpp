// Attach of a device context on the fake function table where the USB stack fails, the
// live-context table behind its cookies, and the registry records attach loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <thread>

#include "ce/host/heap_stats.h"
#include "ce/host/registry_store.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "core/registry_store.h"
#include "protocol/driver_config.h"
#include "protocol/registry_form.h"
#include "protocol/screen_config.h"
#include "support/driver_fixture.h"
#include "support/golden.h"
#include "touch/touch_data.h"

namespace ots::test {
namespace {

using AttachTest = DriverCoreTest;

TEST_F(AttachTest, OnlyVendorSpecificInterfacesAreAccepted) {
    usb_.Fail(Call::DeviceInfo);  // stops attach right after acceptance
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    const struct {
        BYTE cls, subclass, protocol;
        bool accepted;
    } rows[] = {{0xFF, 0, 0, true},        {0xFF, 0xFF, 0xFF, true},  {0xFF, 1, 2, true},
                {0x00, 0xFF, 0xFF, false}, {0x03, 0xFF, 0xFF, false}, {0xFE, 0xFF, 0xFF, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cls);
        usb_.Interface()->Descriptor.bInterfaceClass = row.cls;
        usb_.Interface()->Descriptor.bInterfaceSubClass = row.subclass;
        usb_.Interface()->Descriptor.bInterfaceProtocol = row.protocol;
        BOOL accepted = 0x55;
        EXPECT_FALSE(otsusb::USBDeviceAttach(usb_.Device(), usb_.Funcs(), usb_.Interface(),
                                             L"OtsUSB_Class", &accepted, nullptr, 0));
        EXPECT_EQ(accepted, row.accepted ? TRUE : FALSE);
    }
    BOOL accepted = TRUE;
    EXPECT_FALSE(otsusb::USBDeviceAttach(usb_.Device(), usb_.Funcs(), nullptr, nullptr, &accepted,
                                         nullptr, 0));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(usb_.Calls(Call::DeviceInfo), 3) << "only the accepted ones go on";
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations) << "nothing allocated without device info";
}

TEST(ReportPipeTest, IsTheFirstInEndpointThatIsNotControl) {
    const struct {
        const char* name;
        bool openFails;
        DWORD maxPacket;
        std::vector<BYTE> opened;
        std::vector<USB_ENDPOINT_DESCRIPTOR> endpoints;
    } rows[] = {
        // clang-format off
        {"control, bulk out, interrupt in, bulk in", false, 16, {0x83},
         {Endpoint(0x80, 0, 64), Endpoint(0x02, 2, 64), Endpoint(0x83, 3, 16), Endpoint(0x84, 2, 64)}},
        {"a failed open ends the walk", true, 0, {0x81}, {Endpoint(0x81, 3, 8), Endpoint(0x82, 3, 8)}},
        {"no endpoints", false, 0, {}, {}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUsb usb;
        usb.SetEndpoints(row.endpoints);
        usb.Fail(Call::OpenPipe, row.openFails);
        DEVICE_CONTEXT device{};
        device.lpUsbFuncs = usb.Funcs();
        device.lpInterface = usb.Interface();
        OpenReportPipe(&device);
        EXPECT_EQ(usb.openedEndpoints, row.opened);
        EXPECT_EQ(device.hInterruptPipe, row.maxPacket != 0 ? usb.Pipe() : nullptr);
        EXPECT_EQ(device.bEndpointAddress, row.maxPacket != 0 ? row.opened[0] : 0);
        EXPECT_EQ(device.dwMaxPacketSize, row.maxPacket);
    }
}

struct SignedContext {
    SignedContext() { context.dwSig = DEVICE_SIG; }
    DEVICE_CONTEXT context{};
};

TEST(ContextTableTest, OnlyTheCookieOfALiveSignedRegistrationResolves) {
    SignedContext a, b, c;
    const DWORD stale = RegisterContext(&a.context);
    UnregisterContext(stale);
    // The freed slot is taken again: the new cookie differs, the old one stays refused.
    const DWORD fresh = RegisterContext(&b.context);
    const DWORD other = RegisterContext(&c.context);
    ASSERT_NE(fresh, 0u);
    EXPECT_NE(fresh, stale);
    EXPECT_EQ(ResolveContext(other), &c.context);
    UnregisterContext(stale);  // a stale cookie cannot take out the new occupant
    EXPECT_EQ(ResolveContext(fresh), &b.context);
    for (DWORD forged :
         {stale, DWORD{0}, fresh ^ 0x10u, fresh + 0x100000u, (fresh & ~0xFu) | ((fresh + 2) & 0xFu),
          DWORD{0xFFFFFFFFu}, CookieFromParameter(reinterpret_cast<LPVOID>(&b.context))}) {
        EXPECT_EQ(ResolveContext(forged), nullptr) << std::hex << forged;
    }
    b.context.dwSig = 0;
    EXPECT_EQ(ResolveContext(fresh), nullptr) << "unsigned";
    // A full table refuses, and takes a context again once a slot frees.
    std::vector<SignedContext> more(kMaxDeviceContexts - 2);
    std::vector<DWORD> cookies{fresh, other};
    for (SignedContext& context : more) {
        cookies.push_back(RegisterContext(&context.context));
    }
    EXPECT_EQ(std::count(cookies.begin(), cookies.end(), 0u), 0);
    EXPECT_EQ(RegisterContext(&a.context), 0u);
    UnregisterContext(cookies.back());
    cookies.back() = RegisterContext(&a.context);
    EXPECT_NE(cookies.back(), 0u);
    for (DWORD cookie : cookies) {
        UnregisterContext(cookie);
    }
}

// Four threads keep three contexts each registered at once: no slot is ever handed out twice.
TEST(ContextTableTest, ConcurrentRegistrationsGetDistinctLiveCookies) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&mismatches] {
            SignedContext mine[3];
            for (int i = 0; i < 2000; ++i) {
                DWORD cookies[3];
                for (int k = 0; k < 3; ++k) {
                    cookies[k] = RegisterContext(&mine[k].context);
                }
                for (int k = 0; k < 3; ++k) {
                    mismatches += ResolveContext(cookies[k]) != &mine[k].context;
                    UnregisterContext(cookies[k]);
                    mismatches += ResolveContext(cookies[k]) != nullptr;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

using RegistryStoreTest = DriverCoreTest;

TEST_F(RegistryStoreTest, EmptyRegistryGivesDefaultsAndStoredValuesLoadByName) {
    DEVICE_CONTEXT* pDevice = Create(usb_);  // attach loads all five records
    std::array<std::uint8_t, ots::kDriverConfigSize> loaded{}, defaults{};
    ots::EncodeDriverConfig(pDevice->DriverConfig, loaded);
    ots::EncodeDriverConfig(ots::DefaultDriverConfig(), defaults);
    EXPECT_EQ(loaded, defaults);
    std::array<std::uint8_t, ots::kScreenConfigSize> screen{}, screenDefaults{};
    ots::EncodeScreenConfig(pDevice->ScreenConfig, screen);
    ots::EncodeScreenConfig(ots::DefaultScreenConfig(), screenDefaults);
    EXPECT_EQ(screen, screenDefaults);
    EXPECT_TRUE(SaveCalibPara(pDevice, 2)) << "an unknown axis";
    // Every key read exists, without values. Regenerate: OTS_REGOLDEN=1 test_driver_core.
    ExpectGolden(ce::host::ExportRegText(), OTS_GOLDEN_DIR "loaded_keys.reg");

    // Stored values load by the records' own names, into their low bytes.
    WriteDword(ots::kDriverConfigKey, L"Mode", 0x1234);
    WriteDword(ots::kDriverConfigKey, L"BeepFrequency", 0xCAFEBABE);
    WriteDword(ots::kDeviceConfigKey, L"MaxX", 0x12345678);
    WriteDword(ots::kScreenConfigKey, L"camLOffsetX", 7);
    WriteDword(ots::kCalibParaYKey, L"A01", std::bit_cast<DWORD>(1.0f));
    pDevice = Create(usb_);
    EXPECT_EQ(pDevice->DriverConfig.Mode, 0x34);
    EXPECT_EQ(pDevice->DriverConfig.BeepFrequency, 0xCAFEBABEu);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxX, 0x5678);
    EXPECT_EQ(pDevice->ScreenConfig.camLOffsetX, 7u);
    EXPECT_EQ(pDevice->pTouchData->CalibParaY.A01, 1.0f);
    EXPECT_EQ(pDevice->pTouchData->CalibParaX.A01, 0.0f);
}

TEST_F(RegistryStoreTest, ConfigValuesOfAnyTypeUpToFourBytesReadZeroExtended) {
    const std::wstring key = std::wstring(ots::kClientDriverKey) + L"\\Probe";
    const struct {
        const char* name;
        std::vector<BYTE> stored;
        bool read;
        DWORD value;
    } rows[] = {
        {"missing (first: nothing written yet)", {}, false, 77},
        {"binary of four", {0x78, 0x56, 0x34, 0x12}, true, 0x12345678},
        {"longer than four", {1, 2, 3, 4, 5}, false, 77},
        {"two bytes", {0x34, 0x12}, true, 0x1234},
        {"empty", {}, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (&row != &rows[0]) {
            WriteRaw(key, L"V", REG_BINARY, row.stored);
        }
        DWORD value = 0xFFFFFFFF;
        EXPECT_EQ(ReadConfigValue(key.c_str(), L"V", &value, 77) != FALSE, row.read);
        EXPECT_EQ(value, row.value);
        EXPECT_TRUE(KeyExists(key));
    }
    WriteConfigValue(key.c_str(), L"Written", 0x3F800000);
    EXPECT_EQ(ReadDword(key, L"Written"), 0x3F800000u) << "a REG_DWORD";
}

}  // namespace
}  // namespace ots::test
