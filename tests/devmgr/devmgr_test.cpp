// ActivateDevice and DeactivateDevice (names, active keys, refusals), and CreateFile,
// DeviceIoControl and CloseHandle on stream devices, with what deactivation does to handles
// that are open or busy.
#include <algorithm>
#include <array>
#include <optional>
#include <regex>
#include <thread>

#include "ce/devmgr.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/kernel_object.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "ce/stream.h"
#include "support/bus.h"
#include "support/host_process.h"
#include "support/registry_probe.h"
#include "support/scaled_clock.h"
#include "support/test_driver.h"

namespace {

using Names = std::vector<std::wstring>;
using ots::test::ReadString;
using ots::test::StreamHandle;
using ots::test::TestDriver;
using ots::test::WriteString;
const std::wstring kTestKey = L"Drivers\\Test\\TstStream";
const std::wstring kDriverFile = L"" TST_DRIVER_FILE_NAME;

Names Active(bool keys = false) {
    Names names;
    for (const ce::host::ActiveDevice& device : ce::host::ListActiveDevices()) {
        names.push_back(keys ? device.activeKey : device.name);
    }
    return names;
}

// Keys below Drivers\Active, read from the registry's text form (one section each).
long ActiveKeyCount() {
    return std::max(0L, static_cast<long>(
                            std::ranges::count(ce::host::ExportRegText(L"Drivers\\Active"), '[')) -
                            1);
}

// What the echo code hands back, or nullopt when the call fails.
std::optional<std::string> Echo(HANDLE stream, std::string in) {
    std::array<char, 16> out{};
    DWORD actual = 0;
    if (!DeviceIoControl(stream, ots::test::kEchoCode, in.data(), static_cast<DWORD>(in.size()),
                         out.data(), 16, &actual, nullptr)) {
        return std::nullopt;
    }
    return std::string(out.data(), actual);
}

class Devmgr : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::ResetRegistry();
        TestDriver().Reset();
        WriteString(kTestKey, L"Dll", kDriverFile);
        WriteString(kTestKey, L"Prefix", L"TST");
    }
    void TearDown() override {
        TestDriver().Release();
        for (HANDLE device : activations_) {
            DeactivateDevice(device);
        }
        EXPECT_TRUE(ce::host::ListActiveDevices().empty());
    }
    HANDLE Activate(DWORD clientInfo = 0, const std::wstring& key = kTestKey) {
        HANDLE device = ActivateDevice(key.c_str(), clientInfo);
        if (device != nullptr) {
            activations_.push_back(device);
        }
        return device;
    }
    BOOL Deactivate(HANDLE device) {
        std::erase(activations_, device);
        return DeactivateDevice(device);
    }
    std::vector<HANDLE> activations_;
};

TEST_F(Devmgr, InstancesTakeTheFirstFreeNameOfTheirPrefixAndAnActiveKeyEach) {
    WriteString(L"Drivers\\Active\\01", L"Name", L"OLD1:");  // left over from an earlier run
    WriteString(L"Drivers\\Test\\Second", L"Dll", kDriverFile);
    WriteString(L"Drivers\\Test\\Second", L"Prefix", L"TSB");
    const std::size_t handles = ce::host::LiveHandleCount();
    HANDLE first = Activate(0xCAFE1234u);
    EXPECT_EQ(ActiveKeyCount(), 1) << "leftover keys go while no device is active";
    ASSERT_NE(Activate(2), nullptr);
    ASSERT_NE(Activate(0, L"Drivers\\Test\\Second"), nullptr);
    EXPECT_EQ(Active(), (Names{L"TSB1:", L"TST1:", L"TST2:"}));
    const Names keys = Active(true);
    EXPECT_TRUE(std::regex_match(keys[1], std::wregex(LR"(Drivers\\Active\\\d{2,})")));
    EXPECT_NE(keys[1], keys[2]);
    EXPECT_EQ(ReadString(keys[1], L"Key"), kTestKey);
    ASSERT_TRUE(Deactivate(first));
    // Init finds the active key written: its name and client information.
    EXPECT_EQ(TestDriver().Trace(),
              "Init TST1: client=0xcafe1234 bus=0 -> 0x101\n"
              "Init TST2: client=0x2 bus=0 -> 0x102\n"
              "Init TSB1: client=0x0 bus=0 -> 0x103\n"
              "Deinit 0x101\n");
    EXPECT_FALSE(ots::test::KeyExists(keys[1]));
    EXPECT_FALSE(DeactivateDevice(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    for (int i = 1; i <= 8; ++i) {  // the freed name first, then TST3: to TST9:
        ASSERT_NE(Activate(), nullptr) << i;
    }
    EXPECT_EQ(Active()[1], L"TST1:");
    EXPECT_EQ(Active().back(), L"TST9:");
    EXPECT_EQ(Activate(), nullptr) << "a prefix has nine names";
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ActiveKeyCount(), 10);
    for (HANDLE device : std::vector<HANDLE>(activations_)) {
        Deactivate(device);
    }
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);

    TestDriver().Reset();
    int busContext = 7;
    EXPECT_TRUE(Deactivate(ActivateDeviceEx(kTestKey.c_str(), nullptr, 0, &busContext)));
    EXPECT_EQ(TestDriver().Trace(), "Init TST1: client=0xffffffff bus=7 -> 0x101\nDeinit 0x101\n");
    EXPECT_EQ(ActivateDeviceEx(kTestKey.c_str(), &busContext, 1, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Devmgr, RefusesDeviceKeysItCannotLoadFromAndDriversThatRefuseInit) {
    struct Case {
        const char* name;
        std::optional<std::wstring> dll, prefix;
        DWORD error;
    };
    const Case cases[] = {
        {"no Dll", std::nullopt, L"TST", ERROR_FILE_NOT_FOUND},
        {"no Prefix", kDriverFile, std::nullopt, ERROR_FILE_NOT_FOUND},
        {"prefix too short", kDriverFile, L"TS", ERROR_INVALID_PARAMETER},
        {"prefix too long", kDriverFile, L"TSTX", ERROR_INVALID_PARAMETER},
        {"library missing", L"libno_such_driver.so", L"TST", ERROR_FILE_NOT_FOUND},
        {"entry points missing", kDriverFile, L"XYZ", ERROR_NOT_SUPPORTED},
        {"no key", std::nullopt, std::nullopt, ERROR_FILE_NOT_FOUND},
    };
    const std::wstring broken = L"Drivers\\Test\\Broken";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, broken.c_str());
        if (c.dll || c.prefix) {
            WriteString(broken + L"\\Sub", L"Other", L"x");  // the key itself exists
        }
        if (c.dll) {
            WriteString(broken, L"Dll", *c.dll);
        }
        if (c.prefix) {
            WriteString(broken, L"Prefix", *c.prefix);
        }
        EXPECT_EQ(Activate(0, broken), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(ActivateDevice(nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TestDriver().Trace(), "");

    for (DWORD error : {DWORD{ERROR_DEVICE_NOT_CONNECTED}, DWORD{ERROR_SUCCESS}}) {
        TestDriver().initRefusal = error;
        EXPECT_EQ(Activate(), nullptr);
        // A refusal without a last error of its own is a general failure.
        EXPECT_EQ(GetLastError(), error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        EXPECT_EQ(ActiveKeyCount(), 0);
    }
    TestDriver().initRefusal.reset();
    ASSERT_NE(Activate(), nullptr);
    EXPECT_EQ(Active(), Names{L"TST1:"});
    EXPECT_EQ(TestDriver().Trace(),
              "Init TST1: client=0x0 bus=0 -> 0x0\nInit TST1: client=0x0 bus=0 -> 0x0\n"
              "Init TST1: client=0x0 bus=0 -> 0x101\n")
        << "no Deinit after a refused Init";

    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE h : {event, HANDLE{nullptr}}) {
        EXPECT_FALSE(DeactivateDevice(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    CloseHandle(event);

    const std::string saved = ce::host::DriverSearchPath();
    ots::test::TempDir empty;
    ce::host::SetDriverSearchPath(empty.File(""));
    EXPECT_EQ(Activate(), nullptr) << "a relative name is looked for in the search path only";
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ce::host::SetDriverSearchPath(saved);
}

TEST_F(Devmgr, StreamCallsReachTheDriverWithItsContextsAndResults) {
    EXPECT_EQ(StreamHandle(L"TST1:").error(), ERROR_FILE_NOT_FOUND);
    HANDLE device = Activate();
    for (const wchar_t* name : {L"TST2:", L"TST1", L"TST:", L"XTST1:"}) {
        EXPECT_EQ(StreamHandle(name).error(), ERROR_FILE_NOT_FOUND) << name;
    }
    EXPECT_EQ(StreamHandle(nullptr).error(), ERROR_INVALID_PARAMETER);
    const std::size_t handles = ce::host::LiveHandleCount();
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}) {
        TestDriver().openError = error;
        EXPECT_EQ(StreamHandle(L"TST1:").error(), error) << "the driver's own last error";
    }
    TestDriver().openError = ERROR_SUCCESS;
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);

    // Any case; the access and share reach Open as given.
    HANDLE stream =
        CreateFileW(L"tst1:", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Echo(stream, "calibrate"), "calibrate");
    EXPECT_FALSE(
        DeviceIoControl(stream, ots::test::kFailCode, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(stream));
    EXPECT_FALSE(CloseHandle(stream));
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);

    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (HANDLE handle : {event, device, stream, INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        EXPECT_EQ(Echo(handle, "x"), std::nullopt);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    CloseHandle(event);
    // The device's context reaches Open, the open context the other calls.
    EXPECT_EQ(TestDriver().Trace(),
              "Init TST1: client=0x0 bus=0 -> 0x101\n"
              "Open 0x101 access=0xc0000000 share=0x0 -> 0x0\n"
              "Open 0x101 access=0xc0000000 share=0x0 -> 0x0\n"
              "Open 0x101 access=0x80000000 share=0x1 -> 0x102\n"
              "IOControl 0x102 code=1\nIOControl 0x102 code=2\nClose 0x102\n");
}

// Deactivation refuses new calls at once, waits for the one in progress before Deinit, and
// leaves open handles that only close.
TEST_F(Devmgr, DeactivationWaitsForACallInProgressAndRefusesNewOnes) {
    HANDLE device = Activate();
    const StreamHandle busy(L"TST1:");
    const StreamHandle idle(L"TST1:");  // the test driver admits several opens
    BOOL blockedResult = FALSE;
    std::thread caller([&] {
        blockedResult = DeviceIoControl(busy.get(), ots::test::kBlockCode, nullptr, 0, nullptr, 0,
                                        nullptr, nullptr);
    });
    ASSERT_EQ(std::ranges::count(TestDriver().Trace(4), '\n'), 4) << "the call is in the driver";
    BOOL deactivated = FALSE;
    std::thread deactivator([&] { deactivated = Deactivate(device); });
    ASSERT_TRUE(ots::test::WaitUntil([] { return ce::host::ListActiveDevices().empty(); }));
    EXPECT_EQ(Echo(idle.get(), "new"), std::nullopt);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(StreamHandle(L"TST1:").ok());
    TestDriver().Release();
    caller.join();
    deactivator.join();
    EXPECT_TRUE(blockedResult);
    EXPECT_TRUE(deactivated);
    EXPECT_TRUE(CloseHandle(busy.get()));
    EXPECT_TRUE(CloseHandle(idle.get()));
    // Deinit only once the busy call returned; nothing reaches a gone driver.
    EXPECT_EQ(TestDriver().Trace(),
              "Init TST1: client=0x0 bus=0 -> 0x101\n"
              "Open 0x101 access=0xc0000000 share=0x0 -> 0x102\n"
              "Open 0x101 access=0xc0000000 share=0x0 -> 0x103\n"
              "IOControl 0x102 code=3\nIOControl returns\nDeinit 0x101\n");
}

}  // namespace
