// Binding the registry to a file: loading, saving after every change, corrupt and unwritable
// files. A save cut short by a kill is the faults suite's.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "ce/host/debug_sink.h"
#include "support/host_process.h"
#include "support/registry_probe.h"

namespace {

using namespace ots::test;
using ce::host::BindRegistryFile;
using ce::host::UnbindRegistryFile;
using testing::HasSubstr;
namespace fs = std::filesystem;

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

class RegistryFile : public RegistryTest {
  protected:
    ots::test::TempDir dir_;
    std::string path_ = dir_.File("state.reg");
};

TEST_F(RegistryFile, EveryChangeAndOnlyAChangeIsSavedAndSurvivesARebind) {
    ASSERT_FALSE(BindRegistryFile(path_)) << "a missing file is an empty registry";
    const RegKey key(L"OtsUSB\\Ports", true);
    ASSERT_THAT(ReadFile(path_), HasSubstr("[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]"));
    ASSERT_EQ(SetValue(key.hKey, L"Port1", REG_SZ, StringBytes(L"OTS1:")), ERROR_SUCCESS);

    // The file is replaced by a rename, so a new inode means a new save. Opening a key,
    // rewriting the same type and bytes and deleting a missing value change nothing.
    const ino_t saved = Inode(path_);
    const RegKey opened(L"OtsUSB\\Ports", true);
    EXPECT_EQ(SetValue(key.hKey, L"Port1", REG_SZ, StringBytes(L"OTS1:")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.hKey, L"missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Inode(path_), saved);
    ASSERT_EQ(SetValue(key.hKey, L"Port2", REG_SZ, StringBytes(L"OTS2:")), ERROR_SUCCESS);
    EXPECT_NE(Inode(path_), saved);
    ASSERT_EQ(RegDeleteValueW(key.hKey, L"Port2"), ERROR_SUCCESS);
    ASSERT_FALSE(ce::host::ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Imported]\n"));

    const std::string text = ce::host::ExportRegText();
    UnbindRegistryFile();
    ce::host::ResetRegistry();  // unbound: the file keeps what was saved
    EXPECT_EQ(ReadFile(path_), text);
    const RegKey inMemory(L"InMemory", true);
    ASSERT_FALSE(BindRegistryFile(path_));
    EXPECT_EQ(SetDword(inMemory.hKey, L"x", 1), ERROR_KEY_DELETED) << "binding replaces";
    EXPECT_EQ(ce::host::ExportRegText(), text);
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(RegistryFile, ACorruptOrUnreadableFileIsSetAsideAndTheRegistryStartsEmpty) {
    const std::string corrupt = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"torn\"=dword:0000zz\n";
    ots::test::WriteFile(path_, corrupt);
    const RegKey before(L"InMemory", true);
    const auto error = BindRegistryFile(path_);
    ASSERT_TRUE(error);
    EXPECT_THAT(error->ToString(), HasSubstr(path_ + ":3: "));
    EXPECT_THAT(error->message, HasSubstr(path_ + ".corrupt"));
    EXPECT_EQ(ReadFile(path_ + ".corrupt"), corrupt);
    EXPECT_EQ(ce::host::ExportRegText(), "Windows Registry Editor Version 5.00\n");
    const RegKey fresh(L"Fresh", true);  // the binding holds: the next change writes a fresh file
    EXPECT_THAT(ReadFile(path_), HasSubstr("[HKEY_LOCAL_MACHINE\\Fresh]"));

    UnbindRegistryFile();
    fs::remove_all(path_ + ".corrupt");
    fs::remove(path_);
    fs::create_directory(path_);  // reading a folder fails
    const auto unreadable = BindRegistryFile(path_);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->line, 0);
    EXPECT_THAT(unreadable->message, HasSubstr("cannot read"));
    EXPECT_TRUE(fs::is_directory(path_ + ".corrupt"));
}

TEST_F(RegistryFile, AFailedSaveIsReportedKeepsTheOldFileAndIsMadeUpLater) {
    ASSERT_FALSE(BindRegistryFile(path_));
    const RegKey key(L"K", true);
    ASSERT_EQ(SetDword(key.hKey, L"v", 1), ERROR_SUCCESS);
    const std::string good = ReadFile(path_);
    fs::create_directory(path_ + ".tmp");  // the temporary file cannot be created
    ce::host::DebugCapture capture;
    EXPECT_EQ(SetDword(key.hKey, L"v", 2), ERROR_SUCCESS);
    EXPECT_TRUE(capture.Contains("<registry><SaveRegistryFile>"));
    EXPECT_TRUE(capture.Contains(path_ + ".tmp"));
    EXPECT_EQ(ReadFile(path_), good) << "the old file must stay whole";
    fs::remove(path_ + ".tmp");
    UnbindRegistryFile();
    EXPECT_THAT(ReadFile(path_), HasSubstr("\"v\"=dword:00000002"));
}

// Writers on many threads: a key is created once, no value is lost, and the last save holds
// every change (saves that ran together may have been merged).
TEST_F(RegistryFile, ConcurrentWritersLoseNothingCreateAKeyOnceAndAllReachTheFile) {
    ASSERT_FALSE(BindRegistryFile(path_));
    constexpr DWORD kRounds = 100;
    std::atomic<DWORD> createdNew{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &createdNew] {
            for (DWORD i = 0; i < kRounds; ++i) {
                DWORD disposition = 0;
                const RegKey shared(L"Shared\\Round" + std::to_wstring(i), true, HKEY_LOCAL_MACHINE,
                                    &disposition);
                createdNew += disposition == REG_CREATED_NEW_KEY ? 1 : 0;
                SetDword(shared.hKey, (L"T" + std::to_wstring(t)).c_str(), i);
            }
        });
    }
    std::ranges::for_each(threads, &std::thread::join);
    EXPECT_EQ(createdNew.load(), kRounds);
    const std::string saved = ReadFile(path_);
    EXPECT_EQ(std::ranges::count(saved, '='), 4 * kRounds) << "one line a value";
    EXPECT_EQ(saved, ce::host::ExportRegText());
}

}  // namespace
