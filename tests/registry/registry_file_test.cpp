// Binding the registry to a file: loading, saving after every change, crash safety, corrupt
// and unwritable files.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "ce/host/debug_sink.h"
#include "support/registry_helpers.h"

namespace {

using namespace regtest;
using ce::host::BindRegistryFile;
using ce::host::UnbindRegistryFile;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::stringstream contents;
    contents << std::ifstream(path, std::ios::binary).rdbuf();
    return contents.str();
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A fresh folder with the registry file's path in it, removed with everything in it.
class RegistryFile : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        std::string pattern = ::testing::TempDir() + "registry_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/state.reg";
    }
    void TearDown() override {
        RegistryTest::TearDown();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string folder_;
    std::string path_;
};

TEST_F(RegistryFile, EveryChangeAndOnlyAChangeIsSavedAndSurvivesARebind) {
    ASSERT_FALSE(BindRegistryFile(path_)) << "a missing file is an empty registry";
    Key key(Create(L"OtsUSB\\Ports"));
    ASSERT_TRUE(Contains(ReadFile(path_), "[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]"));
    ASSERT_EQ(SetString(key.get(), L"Port1", L"OTS1:"), ERROR_SUCCESS);
    EXPECT_TRUE(Contains(ReadFile(path_), "\"Port1\"=\"OTS1:\""));

    // The file is replaced by a rename, so a new inode means a new save.
    const ino_t saved = Inode(path_);
    Key opened(Create(L"OtsUSB\\Ports"));
    EXPECT_EQ(SetString(key.get(), L"Port1", L"OTS1:"), ERROR_SUCCESS);  // same type and bytes
    EXPECT_EQ(RegDeleteValueW(key.get(), L"missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Inode(path_), saved);
    ASSERT_EQ(SetString(key.get(), L"Port2", L"OTS2:"), ERROR_SUCCESS);
    EXPECT_NE(Inode(path_), saved);
    ASSERT_EQ(RegDeleteValueW(key.get(), L"Port2"), ERROR_SUCCESS);
    ASSERT_FALSE(ce::host::ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Imported]\n"));

    const std::string text = ce::host::ExportRegText();
    UnbindRegistryFile();
    ce::host::ResetRegistry();  // unbound: the file keeps what was saved
    EXPECT_EQ(ReadFile(path_), text);
    Key inMemory(Create(L"InMemory"));
    ASSERT_FALSE(BindRegistryFile(path_));
    EXPECT_EQ(SetDword(inMemory.get(), L"x", 1), ERROR_KEY_DELETED) << "binding replaces";
    EXPECT_EQ(ce::host::ExportRegText(), text);
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(RegistryFile, ACorruptOrUnreadableFileIsSetAsideAndTheRegistryStartsEmpty) {
    const std::string corrupt = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"torn\"=dword:0000zz\n";
    std::ofstream(path_, std::ios::binary) << corrupt;
    Key before(Create(L"InMemory"));
    const auto error = BindRegistryFile(path_);
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(error->ToString(), path_ + ":3: "));
    EXPECT_TRUE(Contains(error->message, path_ + ".corrupt"));
    EXPECT_EQ(ReadFile(path_ + ".corrupt"), corrupt);
    EXPECT_EQ(ce::host::ExportRegText(), "Windows Registry Editor Version 5.00\n");
    Key fresh(Create(L"Fresh"));  // the binding holds: the next change writes a fresh file
    EXPECT_TRUE(Contains(ReadFile(path_), "[HKEY_LOCAL_MACHINE\\Fresh]"));

    UnbindRegistryFile();
    fs::remove_all(path_ + ".corrupt");
    fs::remove(path_);
    fs::create_directory(path_);  // reading a folder fails
    const auto unreadable = BindRegistryFile(path_);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->line, 0);
    EXPECT_TRUE(Contains(unreadable->message, "cannot read"));
    EXPECT_TRUE(fs::is_directory(path_ + ".corrupt"));
}

TEST_F(RegistryFile, AFailedSaveIsReportedKeepsTheOldFileAndIsMadeUpLater) {
    ASSERT_FALSE(BindRegistryFile(path_));
    Key key(Create(L"K"));
    ASSERT_EQ(SetDword(key.get(), L"v", 1), ERROR_SUCCESS);
    const std::string good = ReadFile(path_);
    fs::create_directory(path_ + ".tmp");  // the temporary file cannot be created
    ce::host::DebugCapture capture;
    EXPECT_EQ(SetDword(key.get(), L"v", 2), ERROR_SUCCESS);
    EXPECT_TRUE(capture.Contains("<registry><SaveRegistryFile>"));
    EXPECT_TRUE(capture.Contains(path_ + ".tmp"));
    EXPECT_EQ(ReadFile(path_), good) << "the old file must stay whole";
    fs::remove(path_ + ".tmp");
    UnbindRegistryFile();
    EXPECT_TRUE(Contains(ReadFile(path_), "\"v\"=dword:00000002"));
}

TEST_F(RegistryFile, ChangesFromManyThreadsAllReachTheFile) {
    ASSERT_FALSE(BindRegistryFile(path_));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            Key key(Create(L"Thread" + std::to_wstring(t)));
            for (DWORD i = 1; i <= 25; ++i) {
                SetDword(key.get(), L"last", i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Saves that ran together may have been merged; the last one must hold every change.
    const std::string saved = ReadFile(path_);
    for (int t = 0; t < 4; ++t) {
        EXPECT_TRUE(Contains(saved, "[HKEY_LOCAL_MACHINE\\Thread" + std::to_string(t) +
                                        "]\n\"last\"=dword:00000019\n"))
            << saved;
    }
}

// The child's one value: its counter repeated a counter-dependent number of times, so a file
// mixing two saves would show.
Bytes StressPayload(DWORD counter) {
    Bytes payload;
    for (DWORD i = 0; i <= counter % 40; ++i) {
        const Bytes bytes = DwordBytes(counter);
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    }
    return payload;
}

[[noreturn]] void RunStressWriter(const std::string& path, int reportFd) {
    if (BindRegistryFile(path)) {
        _exit(2);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Stress", 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        _exit(3);
    }
    const StoredValue stored = Query(key, L"Payload");
    DWORD counter = 0;
    if (stored.data.size() >= sizeof counter) {
        std::memcpy(&counter, stored.data.data(), 4);
    }
    for (;;) {
        ++counter;
        if (SetBytes(key, L"Payload", REG_BINARY, StressPayload(counter)) != ERROR_SUCCESS) {
            _exit(4);
        }
        // Confirmed only once the call returned, that is once the save is done.
        if (::write(reportFd, &counter, sizeof counter) != sizeof counter) {
            _exit(5);
        }
    }
}

TEST_F(RegistryFile, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pauseUs(0, 20000);
    DWORD previous = 0;
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(report[0]);
            RunStressWriter(path_, report[1]);
        }
        ::close(report[1]);
        DWORD confirmed = 0;
        ASSERT_EQ(::read(report[0], &confirmed, sizeof confirmed),
                  static_cast<ssize_t>(sizeof confirmed))
            << "the writer never got going";
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
        for (DWORD next = 0;
             ::read(report[0], &next, sizeof next) == static_cast<ssize_t>(sizeof next);) {
            confirmed = next;
        }
        ::close(report[0]);

        const auto error = BindRegistryFile(path_);
        ASSERT_FALSE(error) << error->ToString();
        const StoredValue stored = QueryAt(L"Stress", L"Payload");
        ASSERT_GE(stored.data.size(), 4u);
        DWORD counter = 0;
        std::memcpy(&counter, stored.data.data(), 4);
        EXPECT_EQ(stored.data, StressPayload(counter)) << "a torn or mixed save";
        // Every confirmed write is in the file; at most the one in flight is there too.
        EXPECT_GE(counter, confirmed);
        EXPECT_LE(counter, confirmed + 1);
        EXPECT_GT(counter, previous);
        previous = counter;
        UnbindRegistryFile();
        EXPECT_FALSE(fs::exists(path_ + ".corrupt"));
    }
}

}  // namespace
