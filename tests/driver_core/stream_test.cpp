// The stream entry points: binding to the stream instance (OTS_Init and the port table),
// OTS_Deinit, the single-open rule of OTS_Open and OTS_Close (an open context outlives its
// teardown), and OTS_IOControl where the stream device cannot take a call: the states in which
// nothing is served and caller buffers that cannot be copied.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "ce/host/registry_store.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"
#include "support/golden.h"

namespace ots::test {
namespace {

const std::wstring kPorts = ots::kPortsKey;

class StreamTest : public DriverCoreTest {
  protected:
    void SetUp() override {
        DriverCoreTest::SetUp();
        device_ = Create(usb_);
        cookie_ = device_->dwCookie;
    }
    BOOL Io(DWORD code, Bytes* in, Bytes* out, DWORD context = 0) {
        return otsusb::OTS_IOControl(context ? context : cookie_, code, in ? in->data() : nullptr,
                                     in ? static_cast<DWORD>(in->size()) : 0,
                                     out ? out->data() : nullptr,
                                     out ? static_cast<DWORD>(out->size()) : 0, nullptr);
    }
    // OTS_Init on an active key as the device manager writes it (no value where null / 0).
    DWORD Init(const wchar_t* name = L"OTS1:", DWORD clientInfo = ~0u,
               const std::wstring& path = L"Drivers\\Active\\01") {
        if (name != nullptr) {
            WriteString(path, L"Name", name);
        }
        if (clientInfo != 0) {
            WriteDword(path, L"ClientInfo", clientInfo == ~0u ? cookie_ : clientInfo);
        }
        return otsusb::OTS_Init(path.c_str(), nullptr);
    }

    DEVICE_CONTEXT* device_ = nullptr;
    DWORD cookie_ = 0;
};

// The port table after OTS_Init and after OTS_Deinit, which releases only the port Init
// claimed. Regenerate: OTS_REGOLDEN=1 test_driver_core --gtest_filter=StreamTest.InitClaims*
TEST_F(StreamTest, InitClaimsTheFirstPortThatIsFreeOrAlreadyNamesTheDevice) {
    const struct {
        const char* name;
        std::vector<std::wstring> before;  // Port1, Port2... planted
    } rows[] = {
        {"empty table", {}},
        {"another device's port is skipped", {L"OTS2:"}},
        {"a value too long to read is a claim", {std::wstring(300, L'X')}},
        {"an existing claim is reused and kept", {L"OTS2:", L"OTS1:"}},
        {"no port free", std::vector<std::wstring>(9, L"a")},
    };
    std::string trace;
    for (const auto& row : rows) {
        ce::host::ResetRegistry();
        device_->lpActivePath = nullptr;
        for (std::size_t n = 0; n < row.before.size(); ++n) {
            WriteString(kPorts, L"Port" + std::to_wstring(n + 1), row.before[n]);
        }
        const bool bound = Init() == cookie_;
        trace += "== " + std::string(row.name) + ": bound " + std::to_string(bound) + "\n" +
                 ce::host::ExportRegText(kPorts);
        if (bound) {
            trace += "deinit " + std::to_string(otsusb::OTS_Deinit(cookie_)) + "\n";
            trace += ce::host::ExportRegText(kPorts);
        }
    }
    ExpectGolden(trace, OTS_GOLDEN_DIR "ports.txt");
}

// Calls naming no live context bind nothing: the context binds afterwards, once; an active key
// without a Name claims no port.
TEST_F(StreamTest, InitBindsOnlyALiveContextOnceAndDeinitOnlyItsOwn) {
    EXPECT_EQ(otsusb::OTS_Init(nullptr, nullptr), 0u);
    EXPECT_EQ(otsusb::OTS_Init(L"Drivers\\Active\\77", nullptr), 0u) << "no such key";
    for (DWORD clientInfo : {DWORD{0}, cookie_ + 0x10, DWORD{0x12345678}}) {
        EXPECT_EQ(Init(L"OTS1:", clientInfo, L"Drivers\\Active\\8" + std::to_wstring(clientInfo)),
                  0u);
    }
    ASSERT_EQ(Init(), cookie_);
    EXPECT_EQ(std::wstring(device_->lpActivePath), L"Drivers\\Active\\01");
    EXPECT_EQ(Init(L"OTS2:", ~0u, L"Drivers\\Active\\02"), 0u);
    EXPECT_FALSE(ReadString(kPorts, L"Port2").has_value());
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_ + 0x10));
    EXPECT_FALSE(otsusb::OTS_Deinit(0));
    EXPECT_FALSE(otsusb::OTS_Close(0));
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_TRUE(otsusb::OTS_Deinit(cookie_));
    EXPECT_FALSE(otsusb::OTS_Deinit(cookie_)) << "nothing left to release";
    EXPECT_EQ(Init(L"OTS1:", ~0u, L"Drivers\\Active\\03"), 0u) << "releasing does not unbind";
    device_->lpActivePath = nullptr;
    EXPECT_EQ(Init(nullptr, ~0u, L"Drivers\\Active\\04"), 0u) << "no Name";
    EXPECT_TRUE(ValueNames(kPorts).empty());
}

TEST_F(StreamTest, NothingIsServedUnlessOpenAndNotClosing) {
    ASSERT_EQ(otsusb::OTS_Open(cookie_, 0, 0), cookie_);
    // Not open, a stale cookie, no such cookie (closing: end to end, while a client holds the
    // unplugged controller).
    const std::pair<DWORD, BYTE> rows[] = {
        {cookie_, 0}, {cookie_ + 0x10, DEVICE_FLAG_OPEN}, {~0u, DEVICE_FLAG_OPEN}};
    for (const auto& [context, flags] : rows) {
        SCOPED_TRACE(context);
        device_->Flags.store(flags);
        // A call that did nothing fails, so that no caller takes its untouched buffer for a record.
        Bytes out(58, 0xEE);
        EXPECT_FALSE(Io(IOCTL_GET_DRIVER_CONFIG, nullptr, &out, context));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_EQ(out, Bytes(58, 0xEE));
        Bytes in = Pattern(58, 9);
        EXPECT_FALSE(Io(IOCTL_SET_DRIVER_CONFIG, &in, nullptr, context));
    }
    device_->Flags.store(DEVICE_FLAG_OPEN);
    // A range that wraps around the address space cannot be copied.
    auto* wrapping = reinterpret_cast<PBYTE>(~std::uintptr_t{0} - 16);  // NOLINT
    EXPECT_FALSE(
        otsusb::OTS_IOControl(cookie_, IOCTL_SET_DRIVER_CONFIG, wrapping, 58, nullptr, 0, nullptr));
    EXPECT_FALSE(
        otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, wrapping, 58, nullptr));
    Bytes out(58, 0xEE);
    DWORD actual = 0xABCD;
    EXPECT_TRUE(otsusb::OTS_IOControl(cookie_, IOCTL_GET_DRIVER_CONFIG, nullptr, 0, out.data(), 58,
                                      &actual));
    EXPECT_EQ(actual, 0xABCDu) << "the actual length is never written";
    EXPECT_EQ(out[1], 1) << "no set took effect: EnableTouch as loaded";
    EXPECT_TRUE(ValueNames(ots::kDriverConfigKey).empty());
}

TEST_F(StreamTest, OpenContextIsNeverFreedAndAClosingOneAdmitsNoClient) {
    ASSERT_EQ(otsusb::OTS_Open(cookie_, 0, 0), cookie_);
    FreeDeviceContext(device_);
    EXPECT_EQ(ResolveContext(cookie_), device_) << "kept while open";
    EXPECT_TRUE(otsusb::OTS_Close(cookie_));
    EXPECT_FALSE(MarkClosing(device_)) << "nobody has it open";
    // A client racing the unplug, before the stream device is deactivated.
    EXPECT_EQ(otsusb::OTS_Open(cookie_, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 5u);
    FreeDeviceContext(device_);
    EXPECT_EQ(ResolveContext(cookie_), nullptr);
    EXPECT_EQ(usb_.Calls(Call::ClosePipe), 1);
}

}  // namespace
}  // namespace ots::test
