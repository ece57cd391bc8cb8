// .reg files as Windows itself writes them: UTF-16LE with a byte-order mark, the DOS
// end-of-file byte, and string data of hex(2): and hex(7): lists in UTF-16LE.
#include <string>
#include <vector>

#include "support/registry_helpers.h"

namespace {

using namespace regtest;
using ce::host::ExportRegText;
using ce::host::ImportRegText;

// regedit's default export: a byte-order mark, then every (ASCII) character in two bytes.
std::string Utf16LeFile(const std::string& ascii) {
    std::string file = "\xFF\xFE";
    for (const char c : ascii) {
        file += c;
        file += '\0';
    }
    return file;
}

using WindowsRegFiles = RegistryTest;

TEST_F(WindowsRegFiles, Utf16AndEndOfFileByteFilesImport) {
    const std::string body = "[HKEY_LOCAL_MACHINE\\W]\r\n\"Name\"=\"OTS\"\r\n";
    for (const std::string& file :
         {Utf16LeFile("Windows Registry Editor Version 5.00\r\n\r\n" + body),
          "REGEDIT4\r\n\r\n" + body + "\x1A", "REGEDIT4\r\n" + body + "\r\n\x1A\r\n"}) {
        ce::host::ResetRegistry();
        const auto error = ImportRegText(file);
        ASSERT_FALSE(error) << error->ToString();
        EXPECT_EQ(QueryAt(L"W", L"Name").data, StringBytes(L"OTS"));
    }
}

TEST_F(WindowsRegFiles, StringListsAreUtf16InTheFileAndWideInTheRegistry) {
    const std::string path = "\"Path\"=hex(2):25,00,57,00,25,00,00,00\n";  // %W%
    const std::string list =
        "\"List\"=hex(7):61,00,00,00,62,00,3d,d8,00,de,00,00,00,00\n";  // a, b😀
    const std::string values = list + path;
    ASSERT_FALSE(ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\W]\n" + values));
    EXPECT_EQ(QueryAt(L"W", L"Path").data, StringBytes(L"%W%"));
    EXPECT_EQ(QueryAt(L"W", L"List").data, StringBytes(std::wstring(L"a\0b\U0001F600\0", 5)));
    EXPECT_TRUE(Contains(ExportRegText(L"W"), values));
}

TEST_F(WindowsRegFiles, MessagesShowBytesThatAreNoTextAsEscapes) {
    const auto error = ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\W]\n\x01\x80x\n");
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(error->ToString(), "unexpected text: \\x01\\x80x")) << error->ToString();
}

}  // namespace
