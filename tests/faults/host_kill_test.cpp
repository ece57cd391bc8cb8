// A host killed (SIGKILL) while it saves its registry: the file it leaves loads, and holds
// every change the host had acknowledged before it died.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <string>
#include <thread>

#include "ce/host/registry_store.h"
#include "ce/registry.h"
#include "support/host_process.h"

namespace faults {
namespace {

using ots::test::HostProcess;
using ots::test::TempDir;

constexpr int kBulkValues = 3000;  // makes every save long, so the kill lands inside one
constexpr int kAcknowledgedBeforeKill = 8;

std::string ChangeText(int i) {
    return "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Faults]\n\"Change" +
           std::to_string(i) + "\"=dword:" + std::to_string(i) + "\n";
}

DWORD ReadChange(int i) {
    HKEY key = nullptr;
    DWORD value = 0, size = sizeof value, type = 0;
    const std::wstring name = L"Change" + std::to_wstring(i);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Faults", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

TEST(HostKilledWhileSaving, EveryAcknowledgedChangeLoads) {
    TempDir dir;
    HostProcess host(dir);
    ASSERT_TRUE(host.WaitReady());
    std::string bulk = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Bulk]\n";
    for (int i = 0; i < kBulkValues; ++i) {
        bulk += "\"Value" + std::to_string(i) + "\"=\"" + std::string(64, 'x') + "\"\n";
    }
    ots::test::WriteFile(dir.File("bulk.reg"), bulk);
    ASSERT_EQ(host.Cectl({"reg", "import", dir.File("bulk.reg")}).exitCode, 0);

    std::atomic<int> acknowledged{0};
    std::thread writer([&] {
        for (int i = 1;; ++i) {
            const std::string file = dir.File("change" + std::to_string(i) + ".reg");
            ots::test::WriteFile(file, ChangeText(i));
            if (host.Cectl({"reg", "import", file}).exitCode != 0) {
                return;  // the host is gone
            }
            acknowledged = i;
        }
    });
    while (acknowledged < kAcknowledgedBeforeKill) {
        std::this_thread::yield();
    }
    host.Stop(SIGKILL);
    writer.join();

    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(host.registryFile());
    ASSERT_FALSE(error.has_value()) << error->ToString();
    for (int i = 1; i <= acknowledged; ++i) {
        EXPECT_EQ(ReadChange(i), static_cast<DWORD>(i)) << "change " << i << " was lost";
    }
}

}  // namespace
}  // namespace faults
