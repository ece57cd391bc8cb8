// Binding the registry to a file: loading, saving after every change, crash safety, corrupt
// and unwritable files.
#include <signal.h>
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
#include "registry_test_support.h"

namespace {

using namespace regtest;
using ce::host::BindRegistryFile;
using ce::host::UnbindRegistryFile;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

using RegistryFile = RegistryTest;

TEST_F(RegistryFile, ChangesSurviveUnbindAndRebind) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    ASSERT_FALSE(BindRegistryFile(path)) << "a missing file is an empty registry";
    {
        Key config(Create(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig"));
        ASSERT_EQ(SetDword(config.get(), L"Mode", 1), ERROR_SUCCESS);
        Key ports(Create(L"OtsUSB\\Ports"));
        ASSERT_EQ(SetString(ports.get(), L"Port1", L"OTS1:"), ERROR_SUCCESS);
        ASSERT_EQ(SetString(ports.get(), L"Port2", L"OTS2:"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(ports.get(), L"Port2"), ERROR_SUCCESS);
    }
    const std::string saved = ce::host::ExportRegText();
    UnbindRegistryFile();
    ce::host::ResetRegistry();  // unbound: the file keeps what was saved
    EXPECT_EQ(ReadFile(path), saved);

    ASSERT_FALSE(BindRegistryFile(path));
    EXPECT_EQ(QueryAt(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig", L"Mode").data,
              DwordBytes(1));
    EXPECT_EQ(QueryAt(L"OtsUSB\\Ports", L"Port1").data, StringBytes(L"OTS1:"));
    EXPECT_EQ(QueryAt(L"OtsUSB\\Ports", L"Port2").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST_F(RegistryFile, BindingReplacesWhatWasInMemory) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    WriteFile(path, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\FromFile]\n\"v\"=dword:2\n");
    Key before(Create(L"InMemory"));
    ASSERT_FALSE(BindRegistryFile(path));
    Key gone;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"InMemory", 0, 0, gone.out()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(before.get(), L"x", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(QueryAt(L"FromFile", L"v").data, DwordBytes(2));
}

TEST_F(RegistryFile, EveryChangeAndOnlyAChangeRewritesTheFile) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    ASSERT_FALSE(BindRegistryFile(path));
    Key key(Create(L"Saved"));
    ASSERT_TRUE(Contains(ReadFile(path), "[HKEY_LOCAL_MACHINE\\Saved]")) << "a new key is saved";

    ASSERT_EQ(SetDword(key.get(), L"v", 1), ERROR_SUCCESS);
    EXPECT_TRUE(Contains(ReadFile(path), "\"v\"=dword:00000001"));

    // The file is replaced by a rename, so a new inode means a new save.
    const ino_t saved = Inode(path);
    Key opened(Create(L"Saved"));
    EXPECT_EQ(Query(key.get(), L"v").data, DwordBytes(1));
    EXPECT_EQ(SetDword(key.get(), L"v", 1), ERROR_SUCCESS);  // same type and bytes
    EXPECT_EQ(RegDeleteValueW(key.get(), L"missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Inode(path), saved);

    ASSERT_EQ(SetDword(key.get(), L"v", 2), ERROR_SUCCESS);
    EXPECT_NE(Inode(path), saved);
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Saved"), ERROR_SUCCESS);
    EXPECT_FALSE(Contains(ReadFile(path), "Saved"));

    ASSERT_FALSE(ce::host::ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Imported]\n"));
    EXPECT_TRUE(Contains(ReadFile(path), "[HKEY_LOCAL_MACHINE\\Imported]"));
}

TEST_F(RegistryFile, ACorruptFileIsSetAsideAndTheRegistryStartsEmpty) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    const std::string corrupt = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"torn\"=dword:0000zz\n";
    WriteFile(path, corrupt);
    Key before(Create(L"InMemory"));

    const auto error = BindRegistryFile(path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->file, path);
    EXPECT_EQ(error->line, 3);
    EXPECT_TRUE(Contains(error->ToString(), path + ":3: "));
    EXPECT_TRUE(Contains(error->message, path + ".corrupt"));
    EXPECT_EQ(ReadFile(path + ".corrupt"), corrupt);
    EXPECT_FALSE(fs::exists(path));
    Key any;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"InMemory", 0, 0, any.out()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"A", 0, 0, any.out()), ERROR_FILE_NOT_FOUND);

    // The binding holds: the next change writes a fresh file.
    Key fresh(Create(L"Fresh"));
    EXPECT_TRUE(Contains(ReadFile(path), "[HKEY_LOCAL_MACHINE\\Fresh]"));
}

TEST_F(RegistryFile, AnUnreadableFileIsSetAsideWithoutALine) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    fs::create_directory(path);  // reading a folder fails
    const auto error = BindRegistryFile(path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->file, path);
    EXPECT_EQ(error->line, 0);
    EXPECT_TRUE(Contains(error->message, "cannot read"));
    EXPECT_TRUE(fs::is_directory(path + ".corrupt"));
}

TEST_F(RegistryFile, AFailedSaveIsReportedAndKeepsTheRegistryInMemory) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    ASSERT_FALSE(BindRegistryFile(path));
    Key key(Create(L"K"));
    ASSERT_EQ(SetDword(key.get(), L"v", 1), ERROR_SUCCESS);
    const std::string good = ReadFile(path);

    fs::create_directory(path + ".tmp");  // the temporary file cannot be created
    ce::host::DebugCapture capture;
    EXPECT_EQ(SetDword(key.get(), L"v", 2), ERROR_SUCCESS);
    EXPECT_TRUE(capture.Contains("<registry><SaveRegistryFile>")) << "no report of the failure";
    EXPECT_TRUE(capture.Contains(path + ".tmp"));
    EXPECT_EQ(Query(key.get(), L"v").data, DwordBytes(2));
    EXPECT_EQ(ReadFile(path), good) << "the old file must stay whole";

    // Once the disk takes writes again, the unbinding saves what was missed.
    fs::remove(path + ".tmp");
    UnbindRegistryFile();
    EXPECT_TRUE(Contains(ReadFile(path), "\"v\"=dword:00000002"));
}

TEST_F(RegistryFile, ChangesFromManyThreadsAllReachTheFile) {
    ScratchFolder folder;
    const std::string path = folder.File("state.reg");
    ASSERT_FALSE(BindRegistryFile(path));
    constexpr int kThreads = 4;
    constexpr DWORD kWrites = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            Key key(Create(L"Thread" + std::to_wstring(t)));
            for (DWORD i = 1; i <= kWrites; ++i) {
                SetDword(key.get(), L"last", i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Saves that ran together may have been merged; the last one must hold every change.
    const std::string saved = ReadFile(path);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(Contains(saved, "[HKEY_LOCAL_MACHINE\\Thread" + std::to_string(t) +
                                        "]\n\"last\"=dword:00000019\n"))
            << saved;
    }
}

// The child's one value: its counter repeated a counter-dependent number of times, so a file
// mixing two saves would show.
std::vector<BYTE> StressPayload(DWORD counter) {
    std::vector<BYTE> payload;
    for (DWORD i = 0; i <= counter % 40; ++i) {
        const std::vector<BYTE> bytes = DwordBytes(counter);
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
    ScratchFolder folder;
    const std::string path = folder.File("stress.reg");
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
            RunStressWriter(path, report[1]);
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

        const auto error = BindRegistryFile(path);
        ASSERT_FALSE(error) << error->ToString();
        const StoredValue stored = QueryAt(L"Stress", L"Payload");
        ASSERT_EQ(stored.rc, ERROR_SUCCESS);
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
        EXPECT_FALSE(fs::exists(path + ".corrupt"));
    }
}

}  // namespace
