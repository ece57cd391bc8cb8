// ActivateDevice and DeactivateDevice: names, active keys, refusals.
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "ce/host/devmgr_host.h"
#include "ce/host/kernel_object.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "devmgr_fixture.h"

namespace devmgr_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::wstring ActiveKeyOf(const std::wstring& name) {
    for (const ce::host::ActiveDevice& device : ce::host::ListActiveDevices()) {
        if (device.name == name) {
            return device.activeKey;
        }
    }
    return {};
}

using Activation = DevmgrTest;

TEST_F(Activation, InstancesTakeTheFirstFreeIndexOfTheirPrefix) {
    HANDLE first = Activate();
    HANDLE second = Activate();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_THAT(ActiveNames(), ElementsAre(L"TST1:", L"TST2:"));

    ASSERT_TRUE(Deactivate(first));
    EXPECT_THAT(ActiveNames(), ElementsAre(L"TST2:"));
    ASSERT_NE(Activate(), nullptr);
    EXPECT_THAT(ActiveNames(), ElementsAre(L"TST1:", L"TST2:"));

    const std::vector<tst::Call> inits = Driver().CallsOf(tst::Op::Init);
    ASSERT_EQ(inits.size(), 3u);
    EXPECT_EQ(inits[0].name, L"TST1:");
    EXPECT_EQ(inits[1].name, L"TST2:");
    EXPECT_EQ(inits[2].name, L"TST1:");
}

TEST_F(Activation, ActiveKeyHoldsNameDeviceKeyAndClientInfoBeforeInitRuns) {
    ASSERT_NE(Activate(0xCAFE1234u), nullptr);
    const std::wstring activeKey = ActiveKeyOf(L"TST1:");
    EXPECT_TRUE(std::regex_match(activeKey, std::wregex(LR"(Drivers\\Active\\\d{2,})")))
        << ce::host::ExportRegText(kActiveRoot);
    EXPECT_EQ(ReadString(activeKey, L"Name"), L"TST1:");
    EXPECT_EQ(ReadString(activeKey, L"Key"), kTestKey);
    EXPECT_EQ(ReadDword(activeKey, L"ClientInfo"), 0xCAFE1234u);

    const std::vector<tst::Call> inits = Driver().CallsOf(tst::Op::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].activeKey, activeKey);
    EXPECT_EQ(inits[0].busContext, nullptr);
    EXPECT_EQ(inits[0].name, L"TST1:");
    EXPECT_EQ(inits[0].clientInfo, 0xCAFE1234u);
}

TEST_F(Activation, EachInstanceHasItsOwnActiveKey) {
    ASSERT_NE(Activate(1), nullptr);
    HANDLE second = Activate(2);
    ASSERT_NE(second, nullptr);
    const std::wstring firstKey = ActiveKeyOf(L"TST1:");
    const std::wstring secondKey = ActiveKeyOf(L"TST2:");
    EXPECT_NE(firstKey, secondKey);
    EXPECT_EQ(ReadDword(firstKey, L"ClientInfo"), 1u);
    EXPECT_EQ(ReadDword(secondKey, L"ClientInfo"), 2u);

    ASSERT_TRUE(Deactivate(second));
    EXPECT_FALSE(KeyExists(secondKey));
    EXPECT_TRUE(KeyExists(firstKey));
}

TEST_F(Activation, InitRefusalLeavesNoActiveKeyAndFreesTheName) {
    Driver().refuseInit = true;
    Driver().initError = ERROR_DEVICE_NOT_CONNECTED;
    EXPECT_EQ(Activate(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_THAT(Subkeys(kActiveRoot), IsEmpty());
    EXPECT_THAT(ActiveNames(), IsEmpty());

    // A refusal without a last error of its own still reports a failure.
    Driver().initError = ERROR_SUCCESS;
    EXPECT_EQ(Activate(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);

    Driver().refuseInit = false;
    ASSERT_NE(Activate(), nullptr);
    EXPECT_THAT(ActiveNames(), ElementsAre(L"TST1:"));
    EXPECT_EQ(Subkeys(kActiveRoot).size(), 1u);
    EXPECT_TRUE(Driver().CallsOf(tst::Op::Deinit).empty());
}

TEST_F(Activation, RefusesDeviceKeysItCannotLoadFrom) {
    struct Case {
        const char* what;
        std::optional<std::wstring> dll;
        std::optional<std::wstring> prefix;
        DWORD error;
    };
    const std::wstring dll = kTestDriverFile;
    const Case cases[] = {
        {"no Dll", std::nullopt, L"TST", ERROR_FILE_NOT_FOUND},
        {"no Prefix", dll, std::nullopt, ERROR_FILE_NOT_FOUND},
        {"prefix too short", dll, L"TS", ERROR_INVALID_PARAMETER},
        {"prefix too long", dll, L"TSTX", ERROR_INVALID_PARAMETER},
        {"library missing", L"libno_such_driver.so", L"TST", ERROR_FILE_NOT_FOUND},
        {"entry points missing", dll, L"XYZ", ERROR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring key = L"Drivers\\Test\\Broken";
        ce::host::ResetRegistry();
        WriteString(L"Drivers\\Test\\Broken\\Sub", L"Other", L"x");  // the key itself exists
        if (c.dll) {
            WriteString(key, L"Dll", *c.dll);
        }
        if (c.prefix) {
            WriteString(key, L"Prefix", *c.prefix);
        }
        EXPECT_EQ(ActivateKey(key.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_THAT(Subkeys(kActiveRoot), IsEmpty());
    }
    EXPECT_EQ(ActivateKey(L"Drivers\\Test\\Missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ActivateKey(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(Driver().Calls().empty());
}

TEST_F(Activation, APrefixHasNineNames) {
    for (int i = 1; i <= 9; ++i) {
        ASSERT_NE(Activate(), nullptr) << i;
    }
    EXPECT_EQ(ActiveNames().back(), L"TST9:");
    EXPECT_EQ(Activate(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Subkeys(kActiveRoot).size(), 9u);
    EXPECT_EQ(Driver().CallsOf(tst::Op::Init).size(), 9u);
}

TEST_F(Activation, EachPrefixCountsItsOwnNames) {
    WriteString(L"Drivers\\Test\\Second", L"Dll", kTestDriverFile);
    WriteString(L"Drivers\\Test\\Second", L"Prefix", L"TSB");
    ASSERT_NE(Activate(), nullptr);
    ASSERT_NE(ActivateKey(L"Drivers\\Test\\Second"), nullptr);
    ASSERT_NE(Activate(), nullptr);
    EXPECT_THAT(ActiveNames(), ElementsAre(L"TSB1:", L"TST1:", L"TST2:"));
    const auto devices = ce::host::ListActiveDevices();
    EXPECT_EQ(devices[0].deviceKey, L"Drivers\\Test\\Second");
    EXPECT_EQ(devices[1].deviceKey, kTestKey);
    EXPECT_EQ(devices[0].library, ce::host::ResolveDriverLibrary(TST_DRIVER_FILE_NAME));
}

TEST_F(Activation, LeftoverActiveKeysGoWhenNoDeviceIsActive) {
    WriteString(L"Drivers\\Active\\01", L"Name", L"OLD1:");
    WriteString(L"Drivers\\Active\\77", L"Name", L"OLD2:");
    ASSERT_NE(Activate(), nullptr);
    const std::wstring firstKey = ActiveKeyOf(L"TST1:");
    EXPECT_EQ(Subkeys(kActiveRoot).size(), 1u);
    EXPECT_EQ(ReadString(firstKey, L"Name"), L"TST1:");

    // With a device active, its key is current and stays.
    ASSERT_NE(Activate(), nullptr);
    EXPECT_TRUE(KeyExists(firstKey));
    EXPECT_EQ(Subkeys(kActiveRoot).size(), 2u);
}

TEST_F(Activation, ActivateDeviceExGivesInitItsBusContext) {
    int busContext = 0;
    HANDLE device = ActivateDeviceEx(kTestKey, nullptr, 0, &busContext);
    ASSERT_NE(device, nullptr);
    const std::vector<tst::Call> inits = Driver().CallsOf(tst::Op::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].busContext, &busContext);
    EXPECT_EQ(inits[0].clientInfo, std::nullopt);
    EXPECT_TRUE(Deactivate(device));

    int regEntries = 0;
    EXPECT_EQ(ActivateDeviceEx(kTestKey, &regEntries, 1, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Activation, DeactivateCallsDeinitWithTheInitContextAndRemovesTheKey) {
    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    const std::wstring activeKey = ActiveKeyOf(L"TST1:");
    ASSERT_TRUE(Deactivate(device));

    const std::vector<tst::Call> inits = Driver().CallsOf(tst::Op::Init);
    const std::vector<tst::Call> deinits = Driver().CallsOf(tst::Op::Deinit);
    ASSERT_EQ(deinits.size(), 1u);
    EXPECT_EQ(deinits[0].context, inits[0].returned);
    EXPECT_FALSE(KeyExists(activeKey));
    EXPECT_THAT(ActiveNames(), IsEmpty());
}

TEST_F(Activation, DeactivateRefusesWhatItDidNotActivate) {
    EXPECT_FALSE(DeactivateDevice(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(DeactivateDevice(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);

    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(Deactivate(device));
    EXPECT_FALSE(DeactivateDevice(device));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Driver().CallsOf(tst::Op::Deinit).size(), 1u);
}

TEST_F(Activation, ActivationAndDeactivationLeaveNoHandleBehind) {
    const std::size_t before = ce::host::LiveHandleCount();
    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(Deactivate(device));
    EXPECT_EQ(ce::host::LiveHandleCount(), before);
}

TEST_F(Activation, RelativeLibraryNamesAreFoundInTheDriverSearchPath) {
    const std::string saved = ce::host::DriverSearchPath();
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() / ("devmgr_empty_" + std::to_string(getpid()));
    std::filesystem::create_directories(empty);

    ce::host::SetDriverSearchPath(empty.string());
    EXPECT_EQ(ce::host::ResolveDriverLibrary("libx.so"), (empty / "libx.so").string());
    EXPECT_EQ(ce::host::ResolveDriverLibrary("sub/libx.so"), (empty / "sub/libx.so").string());
    EXPECT_EQ(ce::host::ResolveDriverLibrary("/opt/libx.so"), "/opt/libx.so");
    EXPECT_EQ(Activate(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    ce::host::SetDriverSearchPath(saved);
    std::filesystem::remove(empty);
    EXPECT_NE(Activate(), nullptr);
}

TEST(PlatformConfiguration, DeviceKeyNamesTheDriverLibraryAndItsPrefix) {
    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(OTS_PLATFORM_REG);
    ASSERT_FALSE(error) << error->ToString();
    const std::wstring key = L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class";
    EXPECT_EQ(ReadString(key, L"Dll"), L"libotsusb.so");
    EXPECT_EQ(ReadString(key, L"Prefix"), L"OTS");
}

}  // namespace
}  // namespace devmgr_test
