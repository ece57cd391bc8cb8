// .reg text import and export.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "registry_test_support.h"

namespace {

using namespace regtest;
using ce::host::ExportRegText;
using ce::host::ImportRegText;

// Every key and value below `key`, in enumeration order: path -> (name, type, bytes).
using Snapshot =
    std::map<std::wstring, std::vector<std::tuple<std::wstring, DWORD, std::vector<BYTE>>>>;

void TakeSnapshot(HKEY key, const std::wstring& path, Snapshot& out) {
    auto& values = out[path];
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD chars = 512;
        DWORD type = 0;
        std::vector<BYTE> data(1024);
        auto size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, i, name, &chars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        data.resize(size);
        values.emplace_back(std::wstring(name, chars), type, data);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        Key sub;
        ASSERT_EQ(RegOpenKeyExW(key, name, 0, 0, sub.out()), ERROR_SUCCESS);
        TakeSnapshot(sub.get(), path + L"\\" + name, out);
    }
}

Snapshot TakeSnapshot() {
    Snapshot snapshot;
    TakeSnapshot(HKEY_LOCAL_MACHINE, L"", snapshot);
    return snapshot;
}

// A registry with every kind of value the text form has to carry.
void FillAwkwardRegistry() {
    Key config(Create(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig"));
    SetDword(config.get(), L"Mode", 0xabcd);
    SetDword(config.get(), L"BeepFrequency", 0xFFFFFFFF);
    Key text(Create(L"Text\\Ünïcödé ]key["));
    SetString(text.get(), nullptr, L"the default");
    SetString(text.get(), L"quotes \"and\" \\back\\slashes\\", L"say \"hi\" C:\\path\\");
    SetString(text.get(), L"@", L"a value named @");
    SetString(text.get(), L"wide", L"Grüße € Σα дом 😀 \t tab");
    SetString(text.get(), L"empty", L"");
    SetString(text.get(), L"trailing spaces", L"  spaced  ");
    Key raw(Create(L"Raw"));
    std::vector<BYTE> long_binary(200);
    for (std::size_t i = 0; i < long_binary.size(); ++i) {
        long_binary[i] = static_cast<BYTE>(i * 7);
    }
    SetBytes(raw.get(), L"long", REG_BINARY, long_binary);
    SetBytes(raw.get(), L"none", REG_NONE, {});
    SetBytes(raw.get(), L"emptyBinary", REG_BINARY, {});
    SetBytes(raw.get(), L"multi", REG_MULTI_SZ, StringBytes(std::wstring(L"a\0bc\0", 5)));
    SetBytes(raw.get(), L"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8});
    SetBytes(raw.get(), L"shortDword", REG_DWORD, {0x34, 0x12});
    // REG_SZ data that is no clean string.
    SetBytes(raw.get(), L"embeddedZero", REG_SZ, StringBytes(std::wstring(L"a\0b", 3)));
    std::vector<BYTE> unterminated = StringBytes(L"abc");
    unterminated.resize(3 * sizeof(wchar_t));
    SetBytes(raw.get(), L"unterminated", REG_SZ, unterminated);
    SetBytes(raw.get(), L"oddSize", REG_SZ, {0x41, 0, 0});
    SetString(raw.get(), L"newline", L"two\nlines\r");
    Key emptyKey(Create(L"Raw\\Empty\\Deeper"));
}

using RegText = RegistryTest;

TEST_F(RegText, ImportingAnExportGivesBackEveryKeyAndValueByteForByte) {
    FillAwkwardRegistry();
    const Snapshot before = TakeSnapshot();
    const std::string text = ExportRegText();

    ce::host::ResetRegistry();
    ASSERT_TRUE(TakeSnapshot().size() == 1);
    const auto error = ImportRegText(text);
    ASSERT_FALSE(error) << error->ToString() << "\n" << text;
    EXPECT_EQ(TakeSnapshot(), before);
    EXPECT_EQ(ExportRegText(), text) << "a second export must read the same";
}

TEST_F(RegText, ExportWritesReadableTextWhereTheValueAllowsIt) {
    FillAwkwardRegistry();
    const std::string text = ExportRegText();
    EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n"));
    EXPECT_TRUE(Contains(text, "\n\"Mode\"=dword:0000abcd\n"));
    EXPECT_TRUE(Contains(text, "\n\"BeepFrequency\"=dword:ffffffff\n"));
    EXPECT_TRUE(Contains(text, "\n@=\"the default\"\n"));
    EXPECT_TRUE(Contains(text, "\n\"@\"=\"a value named @\"\n"));
    EXPECT_TRUE(Contains(
        text,
        "\n\"quotes \\\"and\\\" \\\\back\\\\slashes\\\\\"=\"say \\\"hi\\\" C:\\\\path\\\\\"\n"));
    EXPECT_TRUE(Contains(text, "\n\"wide\"=\"Grüße € Σα дом 😀 \t tab\"\n"));  // UTF-8
    EXPECT_TRUE(Contains(text, "\n[HKEY_LOCAL_MACHINE\\Text\\Ünïcödé ]key[]\n"));
    EXPECT_TRUE(Contains(text, "\n\"emptyBinary\"=hex:\n"));
    EXPECT_TRUE(Contains(text, "\n\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"));
    EXPECT_TRUE(Contains(text, "\n\"shortDword\"=hex(4):34,12\n"));
    EXPECT_TRUE(Contains(text, "\n\"oddSize\"=hex(1):41,00,00\n"));
    EXPECT_TRUE(Contains(text, "\n\"embeddedZero\"=hex(1):"));
    EXPECT_TRUE(Contains(text, "\n\"newline\"=hex(1):"));
    EXPECT_TRUE(Contains(text, "\n[HKEY_LOCAL_MACHINE\\Raw\\Empty\\Deeper]\n"));
    EXPECT_FALSE(Contains(text, "[HKEY_LOCAL_MACHINE]")) << "the root has no values";
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = text.find('\n', start);
        EXPECT_LE(text.substr(start, end - start).size(), 80u) << "hex lists wrap";
    }
}

TEST_F(RegText, ExportSortsKeysAndValuesWithoutRegardToCase) {
    ASSERT_FALSE(
        ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\b\\c]\n[HKEY_LOCAL_MACHINE\\A]\n"
                      "\"z\"=dword:1\n\"Y\"=dword:2\n@=\"d\"\n"));
    EXPECT_EQ(ExportRegText(),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_LOCAL_MACHINE\\A]\n@=\"d\"\n\"Y\"=dword:00000002\n\"z\"=dword:00000001\n"
              "\n[HKEY_LOCAL_MACHINE\\b]\n"
              "\n[HKEY_LOCAL_MACHINE\\b\\c]\n");
}

TEST_F(RegText, ExportOfOneKeyCarriesItsSubtreeInTheStoredCase) {
    ASSERT_FALSE(
        ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Keep\\Sub]\n\"v\"=dword:1\n"
                      "[HKEY_LOCAL_MACHINE\\Other]\n\"w\"=dword:2\n"));
    const std::string text = ExportRegText(L"keep");
    EXPECT_TRUE(Contains(text, "[HKEY_LOCAL_MACHINE\\Keep]\n"));
    EXPECT_TRUE(Contains(text, "[HKEY_LOCAL_MACHINE\\Keep\\Sub]\n\"v\"=dword:00000001\n"));
    EXPECT_FALSE(Contains(text, "Other"));
    EXPECT_EQ(ExportRegText(L"Missing"), "Windows Registry Editor Version 5.00\n");
}

TEST_F(RegText, ImportAcceptsBothHeadersAndTheUsualLayouts) {
    const std::string text =
        "\xEF\xBB\xBF"
        "REGEDIT4\r\n"
        "\r\n"
        "; settings of the driver\r\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\OtsUSB_Class]\r\n"
        "\"QueuedTransferCount\"=dword:A\r\n"
        "  \"Prefix\" = \"OTS\"\r\n"
        "@=\"default\"\r\n"
        "\"Blob\"=hex:01, 02,\\\r\n"
        "    03 ,4,\\\r\n"
        "  ff\r\n"
        "\"Multi\"=hex(7):61,00,00,00\r\n"
        "[hkey_local_machine\\Second]\r\n";
    const auto error = ImportRegText(text);
    ASSERT_FALSE(error) << error->ToString();
    const std::wstring key = L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class";
    EXPECT_EQ(QueryAt(key, L"QueuedTransferCount").data, DwordBytes(10));
    EXPECT_EQ(QueryAt(key, L"Prefix").data, StringBytes(L"OTS"));
    EXPECT_EQ(QueryAt(key, L"").data, StringBytes(L"default"));
    EXPECT_EQ(QueryAt(key, L"Blob").data, (std::vector<BYTE>{1, 2, 3, 4, 0xFF}));
    EXPECT_EQ(QueryAt(key, L"Multi").type, REG_MULTI_SZ);
    Key second;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Second", 0, 0, second.out()), ERROR_SUCCESS);
}

TEST_F(RegText, ImportDeletesValuesAndKeys) {
    ASSERT_FALSE(
        ImportRegText("Windows Registry Editor Version 5.00\n"
                      "[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]\n\"Port1\"=\"OTS1:\"\n"
                      "\"Port2\"=\"OTS2:\"\n"
                      "[HKEY_LOCAL_MACHINE\\Old\\Deep\\Tree]\n\"x\"=dword:1\n"));
    ASSERT_FALSE(
        ImportRegText("Windows Registry Editor Version 5.00\n"
                      "[HKEY_LOCAL_MACHINE\\OtsUSB\\Ports]\n\"port1\"=-\n"
                      "\"NeverThere\"=-\n"
                      "[-HKEY_LOCAL_MACHINE\\old]\n"
                      "[-HKEY_LOCAL_MACHINE\\NeverThere]\n"));
    EXPECT_EQ(QueryAt(L"OtsUSB\\Ports", L"Port1").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryAt(L"OtsUSB\\Ports", L"Port2").data, StringBytes(L"OTS2:"));
    Key old;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Old", 0, 0, old.out()), ERROR_FILE_NOT_FOUND);
}

struct SyntaxCase {
    const char* what;
    std::string text;
    int line;
    const char* message;  // part of the message
};

class RegTextSyntax : public RegistryTest, public ::testing::WithParamInterface<SyntaxCase> {};

const std::string kGood = "[HKEY_LOCAL_MACHINE\\Merged]\n\"first\"=dword:1\n";

TEST_P(RegTextSyntax, NamesFileAndLineAndMergesNothing) {
    Key existing(Create(L"Existing"));
    SetDword(existing.get(), L"kept", 5);
    const std::string before = ExportRegText();

    const auto error = ImportRegText(GetParam().text, "conf/platform.reg");
    ASSERT_TRUE(error) << "accepted: " << GetParam().text;
    EXPECT_EQ(error->file, "conf/platform.reg");
    EXPECT_EQ(error->line, GetParam().line);
    EXPECT_TRUE(Contains(error->message, GetParam().message)) << error->message;
    EXPECT_TRUE(error->ToString().starts_with(
        "conf/platform.reg:" + std::to_string(GetParam().line) + ": "));
    EXPECT_EQ(ExportRegText(), before);
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n";

INSTANTIATE_TEST_SUITE_P(
    Errors, RegTextSyntax,
    ::testing::Values(
        SyntaxCase{"NoHeader", kGood, 1, "first line"},
        SyntaxCase{"EmptyText", "", 1, "first line"},
        SyntaxCase{"WrongHeaderAfterBlanks", "\n\nWindows Registry Editor 4\n" + kGood, 3,
                   "first line"},
        SyntaxCase{"ValueBeforeSection", kHeader + "\"a\"=dword:1\n", 2, "outside a key"},
        SyntaxCase{"UnterminatedString", kHeader + kGood + "\"a\"=\"open\n", 4, "unterminated"},
        SyntaxCase{"UnterminatedName", kHeader + kGood + "\"a=dword:1\n", 4, "unterminated"},
        SyntaxCase{"UnknownEscape", kHeader + kGood + "\"a\"=\"x\\n\"\n", 4, "escape"},
        SyntaxCase{"BadDword", kHeader + kGood + "\"a\"=dword:xyz\n", 4, "dword"},
        SyntaxCase{"LongDword", kHeader + kGood + "\"a\"=dword:123456789\n", 4, "dword"},
        SyntaxCase{"EmptyDword", kHeader + kGood + "\"a\"=dword:\n", 4, "dword"},
        SyntaxCase{"BadByteOnContinuation", kHeader + kGood + "\"a\"=hex:01,02,\\\n  03,\\\n  zz\n",
                   6, "bad hex byte"},
        SyntaxCase{"ThreeDigitByte", kHeader + kGood + "\"a\"=hex:100\n", 4, "bad hex byte"},
        SyntaxCase{"TrailingComma", kHeader + kGood + "\"a\"=hex:01,\n", 4, "bad hex byte"},
        SyntaxCase{"ContinuationAtEnd", kHeader + kGood + "\"a\"=hex:01,\\", 4, "end of the file"},
        SyntaxCase{"BadTypeNumber", kHeader + kGood + "\"a\"=hex(zz):01\n", 4, "hex(N)"},
        SyntaxCase{"UnknownData", kHeader + kGood + "\"a\"=qword:1\n", 4, "unknown value data"},
        SyntaxCase{"TextAfterValue", kHeader + kGood + "\"a\"=\"b\" c\n", 4, "after the value"},
        SyntaxCase{"MissingEquals", kHeader + kGood + "\"a\" dword:1\n", 4, "'='"},
        SyntaxCase{"BadUtf8", kHeader + kGood + "\"a\"=\"\xC3\x28\"\n", 4, "UTF-8"},
        SyntaxCase{"OtherRoot", kHeader + kGood + "[HKEY_CURRENT_USER\\x]\n", 4,
                   "HKEY_LOCAL_MACHINE"},
        SyntaxCase{"MissingBracket", kHeader + kGood + "[HKEY_LOCAL_MACHINE\\x\n", 4, "']'"},
        SyntaxCase{"DeleteRoot", kHeader + kGood + "[-HKEY_LOCAL_MACHINE]\n", 4,
                   "cannot be deleted"},
        SyntaxCase{"ValueUnderDeletedKey", kHeader + kGood + "[-HKEY_LOCAL_MACHINE\\x]\n\"a\"=-\n",
                   5, "being deleted"},
        SyntaxCase{"LongKeyName",
                   kHeader + kGood + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", 4,
                   "invalid key path"},
        SyntaxCase{"ControlCharacterInName", kHeader + kGood + "\"a\x01\"=dword:1\n", 4,
                   "invalid value name"},
        SyntaxCase{"StrayText", kHeader + kGood + "Mode=2\n", 4, "unexpected text"}),
    [](const ::testing::TestParamInfo<SyntaxCase>& caseInfo) {
        return std::string(caseInfo.param.what);
    });

TEST_F(RegText, AFileThatCannotBeReadIsNamedWithoutALine) {
    const auto error = ce::host::ImportRegFile("/nonexistent/folder/platform.reg");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->file, "/nonexistent/folder/platform.reg");
    EXPECT_EQ(error->line, 0);
    EXPECT_TRUE(error->ToString().starts_with("/nonexistent/folder/platform.reg: cannot read"));
}

TEST_F(RegText, ErrorTextsWithoutFileOrLine) {
    EXPECT_EQ((ce::host::RegistryError{"", 7, "bad"}).ToString(), "line 7: bad");
    EXPECT_EQ((ce::host::RegistryError{"", 0, "bad"}).ToString(), "bad");
    EXPECT_EQ((ce::host::RegistryError{"f.reg", 0, "bad"}).ToString(), "f.reg: bad");
}

}  // namespace
