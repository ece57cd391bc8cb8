// .reg text import and export, and binding the registry to a file: loading, saving after every
// change, corrupt and unwritable files. A save cut short by a kill is the faults suite's.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/debug_sink.h"
#include "support/golden.h"
#include "support/host_process.h"
#include "support/registry_probe.h"

namespace {

using namespace ots::test;
using ce::host::BindRegistryFile;
using ce::host::ExportRegText;
using ce::host::ImportRegText;
using ce::host::UnbindRegistryFile;
using testing::HasSubstr;
namespace fs = std::filesystem;

using RegText = RegistryTest;

struct Stored {
    std::wstring key;
    const wchar_t* name;
    DWORD type;
    RegBytes data;
};

TEST_F(RegText, AnExportReadsWellAndImportsBackByteForByte) {
    RegBytes longBinary(200);
    for (std::size_t i = 0; i < longBinary.size(); ++i) {
        longBinary[i] = static_cast<BYTE>(i * 7);
    }
    const std::wstring text = L"Text\\Ünïcödé ]key[";
    const Stored values[] = {
        {L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig", L"Mode", REG_DWORD,
         DwordBytes(0xabcd)},
        {text, nullptr, REG_SZ, StringBytes(L"the default")},
        {text, L"quotes \"and\" \\back\\slashes\\", REG_SZ, StringBytes(L"say \"hi\" C:\\path\\")},
        {text, L"@", REG_SZ, StringBytes(L"a value named @")},
        {text, L"wide", REG_SZ, StringBytes(L"Grüße € Σα дом 😀 \t tab")},
        {text, L"empty", REG_SZ, StringBytes(L"")},
        {L"Raw", L"long", REG_BINARY, longBinary},
        {L"Raw", L"none", REG_NONE, {}},
        {L"Raw", L"emptyBinary", REG_BINARY, {}},
        {L"Raw", L"multi", REG_MULTI_SZ, StringBytes(std::wstring(L"a\0bc\0", 5))},
        {L"Raw", L"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"Raw", L"shortDword", REG_DWORD, {0x34, 0x12}},
        // REG_SZ data that is no clean string.
        {L"Raw", L"embeddedZero", REG_SZ, StringBytes(std::wstring(L"a\0b", 3))},
        {L"Raw", L"unterminated", REG_SZ, AsBytes(L"abc", 3 * sizeof(wchar_t))},
        {L"Raw", L"oddSize", REG_SZ, {0x41, 0, 0}},
        {L"Raw", L"newline", REG_SZ, StringBytes(L"two\nlines\r")},
    };
    for (const Stored& v : values) {
        ASSERT_EQ(SetValue(RegKey(v.key, true).hKey, v.name, v.type, v.data), ERROR_SUCCESS);
    }
    const RegKey deeper(L"Raw\\Empty\\Deeper", true);
    // Escapes, the default value, keys without values, hex lists wrapped under 80 columns.
    // After a deliberate change of the format, regenerate with: OTS_REGOLDEN=1
    // build/default/bin/test_registry --gtest_filter='RegText.AnExport*'
    const std::string exported = ExportRegText();
    ots::test::ExpectGolden(exported, OTS_GOLDEN_DIR "export.reg");

    ce::host::ResetRegistry();
    const auto error = ImportRegText(exported);
    ASSERT_FALSE(error) << error->ToString() << "\n" << exported;
    // Every type and byte shows in the text, so reading the same is importing byte for byte.
    EXPECT_EQ(ExportRegText(), exported);
}

// Hand-written layouts, deletions, files as Windows writes them (UTF-16LE with a byte-order
// mark, the DOS end-of-file byte, string lists of hex(2): and hex(7): in UTF-16LE), and the
// order of an export, as one export. After a deliberate change, regenerate with: OTS_REGOLDEN=1
// build/default/bin/test_registry --gtest_filter='RegText.Import*'
TEST_F(RegText, ImportTakesTheUsualLayoutsAndWindowsFilesAndDeletes) {
    std::string utf16 = "\xFF\xFE";  // regedit's default: two bytes a character
    for (const char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                                    "[HKEY_LOCAL_MACHINE\\W\\Utf16]\r\n\"Name\"=\"OTS\"\r\n")) {
        utf16 += {c, '\0'};
    }
    const std::string files[] = {
        "\xEF\xBB\xBF"
        "REGEDIT4\r\n\r\n"
        "; settings of the driver\r\n"
        "[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]\r\n"
        "\"QueuedTransferCount\"=dword:A\r\n"
        "  \"Prefix\" = \"OTS\"\r\n"
        "@=\"default\"\r\n"
        "\"Blob\"=hex:01, 02,\\\r\n"
        "    03 ,4,\\\r\n"
        "  ff\r\n"
        "\"Port1\"=\"OTS1:\"\r\n"
        "[hkey_local_machine\\Old\\Deep\\Tree]\r\n",
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]\n\"port1\"=-\n\"NeverThere\"=-\n"
        "[-HKEY_LOCAL_MACHINE\\old]\n[-HKEY_LOCAL_MACHINE\\NeverThere]\n",
        utf16,
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\W\\Dos]\r\n\"Name\"=\"OTS\"\r\n\x1A",
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\W\\DosLine]\r\n\"Name\"=\"OTS\"\r\n\r\n\x1A\r\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\L]\n"
        "\"List\"=hex(7):61,00,00,00,62,00,3d,d8,00,de,00,00,00,00\n"  // a, b😀
        "\"Path\"=hex(2):25,00,57,00,25,00,00,00\n",                   // %W%
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\b\\c]\n[HKEY_LOCAL_MACHINE\\A]\n"
        "\"z\"=dword:1\n\"Y\"=dword:2\n@=\"d\"\n",
    };
    for (const std::string& file : files) {
        const auto error = ImportRegText(file);
        ASSERT_FALSE(error) << error->ToString();
    }
    ots::test::ExpectGolden(ExportRegText(), OTS_GOLDEN_DIR "import.reg");
    EXPECT_EQ(ExportRegText(L"B"),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_LOCAL_MACHINE\\b]\n"
              "\n[HKEY_LOCAL_MACHINE\\b\\c]\n");
    EXPECT_EQ(ExportRegText(L"Missing"), "Windows Registry Editor Version 5.00\n");
}

TEST_F(RegText, ASyntaxErrorNamesFileAndLineAndMergesNothing) {
    struct Case {
        const char* name;
        std::string text;     // after a good header and key: an error on line 4
        const char* message;  // part of the message
        int line = 4;
        bool whole = false;  // the text is the whole file
    };
    const std::string good = "[HKEY_LOCAL_MACHINE\\Merged]\n\"first\"=dword:1\n";
    const Case cases[] = {
        // Without regedit's header the text is a device image's file, which this line is not.
        {"wrong header after blanks", "\n\nWindows Registry Editor 4\n" + good, "unexpected text",
         3, true},
        {"value before a section", "Windows Registry Editor Version 5.00\n\"a\"=dword:1\n",
         "outside a key", 2, true},
        {"unterminated string", "\"a\"=\"open\n", "unterminated"},
        {"unterminated name", "\"a=dword:1\n", "unterminated"},
        {"unknown escape", "\"a\"=\"x\\n\"\n", "escape"},
        {"bad dword", "\"a\"=dword:xyz\n", "dword"},
        {"nine-digit dword", "\"a\"=dword:123456789\n", "dword"},
        {"empty dword", "\"a\"=dword:\n", "dword"},
        {"bad byte on a continuation", "\"a\"=hex:01,02,\\\n  03,\\\n  zz\n", "bad hex byte", 6},
        {"three-digit byte", "\"a\"=hex:100\n", "bad hex byte"},
        {"trailing comma", "\"a\"=hex:01,\n", "bad hex byte"},
        {"continuation at the end", "\"a\"=hex:01,\\", "end of the file"},
        {"bad type number", "\"a\"=hex(zz):01\n", "hex(N)"},
        {"unknown data", "\"a\"=qword:1\n", "unknown value data"},
        {"text after the value", "\"a\"=\"b\" c\n", "after the value"},
        {"missing equals", "\"a\" dword:1\n", "'='"},
        {"bad UTF-8", "\"a\"=\"\xC3\x28\"\n", "UTF-8"},
        {"other root", "[HKEY_CURRENT_USER\\x]\n", "HKEY_LOCAL_MACHINE"},
        {"missing bracket", "[HKEY_LOCAL_MACHINE\\x\n", "']'"},
        {"deleting the root", "[-HKEY_LOCAL_MACHINE]\n", "cannot be deleted"},
        {"value under a deleted key", "[-HKEY_LOCAL_MACHINE\\x]\n\"a\"=-\n", "being deleted", 5},
        {"long key name", "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n",
         "invalid key path"},
        {"control character in a name", "\"a\x01\"=dword:1\n", "invalid value name"},
        {"stray text", "Mode=2\n", "unexpected text"},
        {"bytes that are no text, shown as escapes", "\x01\x80x\n", "unexpected text: \\x01\\x80x"},
    };
    SetDword(RegKey(L"Existing", true).hKey, L"kept", 5);
    const std::string before = ExportRegText();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text =
            c.whole ? c.text : "Windows Registry Editor Version 5.00\n" + good + c.text;
        const auto error = ImportRegText(text, "conf/platform.reg");
        ASSERT_TRUE(error) << "accepted";
        EXPECT_TRUE(
            error->ToString().starts_with("conf/platform.reg:" + std::to_string(c.line) + ": "))
            << error->ToString();
        EXPECT_THAT(error->message, HasSubstr(c.message));
        EXPECT_EQ(ExportRegText(), before);
    }
    const auto unreadable = ce::host::ImportRegFile("/nonexistent/folder/platform.reg");
    ASSERT_TRUE(unreadable);
    EXPECT_TRUE(
        unreadable->ToString().starts_with("/nonexistent/folder/platform.reg: cannot read"));
}

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
    fs::remove(path_ + ".corrupt");
    ots::test::WriteFile(path_, "\n[HKEY_LOCAL_MACHINE\\NoHeader]\n");  // only regedit's form
    const auto headless = BindRegistryFile(path_);
    ASSERT_TRUE(headless);
    EXPECT_THAT(headless->ToString(), HasSubstr(path_ + ":2: expected"));

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
