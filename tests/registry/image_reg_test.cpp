// The registry files a device image is built from: no header, comments and conditional comment
// lines, #define / #include / #if, IF ... ENDIF blocks, $(NAME), multi_sz:, keys under other
// roots; and the driver's own fragment in that form.
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/driver_config.h"
#include "protocol/registry_form.h"
#include "protocol/screen_config.h"
#include "support/host_process.h"
#include "support/registry_probe.h"

namespace {

using namespace ots::test;
using ce::host::ExportRegText;
using ce::host::ImportRegFile;
using ce::host::RegTextOptions;
using testing::HasSubstr;

class ImageReg : public RegistryTest {
  protected:
    // Writes the files, imports the first with the options; the notes it gave are kept.
    std::optional<ce::host::RegistryError> Import(
        const std::vector<std::pair<std::string, std::string>>& files,
        std::map<std::string, std::string> defines = {}) {
        for (const auto& [name, text] : files) {
            WriteFile(dir_.File(name), text);
        }
        RegTextOptions options;
        options.defines = std::move(defines);
        options.note = [this](const std::string& line) { notes_.push_back(line); };
        return ImportRegFile(dir_.File(files.front().first), options);
    }

    TempDir dir_;
    std::vector<std::string> notes_;
};

TEST_F(ImageReg, AHandWrittenFragmentKeepsWhatItsConditionsAndDefinesSay) {
    const std::string platform =
        "; @CESYSGEN IF CE_MODULES_USBD\n"
        "#define BUILTIN HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\n"
        "#include \"drivers/touch.reg\"\n"
        "[HKEY_CURRENT_USER\\ControlPanel\\Touch]\n"
        "    \"Skipped\"=hex:01,\\\n"
        "        02\n"
        "[HKEY_CLASSES_ROOT\\Skipped\\Too]\n"
        "IF BSP_NOUSB\n"
        "[$(BUILTIN)\\NoUsb]\n"
        "ELSE\n"
        "[$(BUILTIN)\\Usb]\n"
        "   \"Index\"=dword:1\n"
        "   IF BSP_PANEL == wide\n"
        "   \"Panel\"=\"wide\"\n"
        "   ENDIF\n"
        "   IF BSP_PANEL != wide\n"
        "   \"Panel\"=\"other\"\n"
        "   ENDIF\n"
        "   IF BSP_SERIAL !\n"
        "   \"NoSerial\"=dword:1\n"
        "   ENDIF\n"
        "ENDIF\n"
        "#if defined(BSP_DEBUG) || !defined(BSP_PANEL) && 1\n"
        "[$(BUILTIN)\\Debug]\n"
        "#endif\n"
        "; @CESYSGEN ENDIF\n";
    const std::string touch =
        "#ifdef BSP_NOUSB\n"
        "[HKEY_LOCAL_MACHINE\\Wrong]\n"
        "#else\n"
        "[$(BUILTIN)\\Touch]\n"
        "    \"Dll\"=\"$(DLL)\"\n"
        "    \"IClass\"=multi_sz:\"{A}\", \"b c\",\\\n"
        "       \"\"\n"
        "#endif\n";
    std::filesystem::create_directory(dir_.File("drivers"));
    const auto error = Import({{"platform.reg", platform}, {"drivers/touch.reg", touch}},
                              {{"BSP_PANEL", "wide"}, {"DLL", "touch.dll"}});
    ASSERT_FALSE(error) << error->ToString();
    EXPECT_EQ(ExportRegText(L"Drivers"),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_LOCAL_MACHINE\\Drivers]\n"
              "\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn]\n"
              "\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Touch]\n"
              "\"Dll\"=\"touch.dll\"\n"
              "\"IClass\"=hex(7):7b,00,41,00,7d,00,00,00,62,00,20,00,63,00,00,00,00,00,00,00\n"
              "\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Usb]\n"
              "\"Index\"=dword:00000001\n"
              "\"NoSerial\"=dword:00000001\n"
              "\"Panel\"=\"wide\"\n");
    EXPECT_EQ(notes_, std::vector<std::string>{dir_.File("platform.reg") +
                                               ": skipped 2 keys under roots other than "
                                               "HKEY_LOCAL_MACHINE"});
}

TEST_F(ImageReg, AMistakeNamesItsFileAndLineAndMergesNothing) {
    struct Case {
        const char* name;
        std::string text;
        const char* file;  // where the error is
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"missing include", "\n#include \"gone.reg\"\n", "a.reg", 2, "cannot include"},
        {"include loop", "#include \"b.reg\"\n", "b.reg", 2, "include loop"},
        {"IF left open", "IF X\n[HKEY_LOCAL_MACHINE\\A]\n", "a.reg", 1, "IF without ENDIF"},
        {"stray ENDIF", "[HKEY_LOCAL_MACHINE\\A]\nENDIF\n", "a.reg", 2, "ENDIF without IF"},
        {"#endif for IF", "IF X\n#endif\n", "a.reg", 2, "#endif without #if"},
        {"bad IF", "IF X = 1\nENDIF\n", "a.reg", 1, "IF needs"},
        {"undefined macro", "[HKEY_LOCAL_MACHINE\\$(NOPE)]\n", "a.reg", 1, "$(NOPE)"},
        {"unknown root", "[HKEY_LOCAL_MACHIN\\A]\n", "a.reg", 1, "HKEY_LOCAL_MACHINE"},
        {"bad multi_sz", "[HKEY_LOCAL_MACHINE\\A]\n\"m\"=multi_sz:\"a\",\n", "a.reg", 2,
         "multi_sz"},
        {"error in an include", "#include \"c.reg\"\n", "c.reg", 1, "unexpected text"},
    };
    WriteFile(dir_.File("b.reg"), "\n#include \"a.reg\"\n");
    WriteFile(dir_.File("c.reg"), "Mode=2\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto error = Import({{"a.reg", "[HKEY_LOCAL_MACHINE\\Merged]\n" + c.text}});
        ASSERT_TRUE(error) << "accepted";
        EXPECT_EQ(error->file, dir_.File(c.file));
        EXPECT_EQ(error->line, c.line + (std::string(c.file) == "a.reg" ? 1 : 0));
        EXPECT_THAT(error->message, HasSubstr(c.message));
        EXPECT_EQ(ExportRegText(), "Windows Registry Editor Version 5.00\n");
    }
}

TEST_F(ImageReg, TheDriversFragmentAloneGivesThePlatformConfiguration) {
    ASSERT_FALSE(ImportRegFile(OTS_PLATFORM_REG));
    const std::string platform = ExportRegText();
    ce::host::ResetRegistry();
    ASSERT_FALSE(ImportRegFile(OTS_DRIVER_REG));
    EXPECT_EQ(ExportRegText(), platform);
}

// With OTSUSB_SETTINGS the fragment writes the settings out; they must be the driver's own
// defaults, or an image built with them would change how the driver behaves.
TEST_F(ImageReg, TheDriversFragmentWritesItsSettingsWithTheDriversDefaults) {
    RegTextOptions options;
    options.defines = {{"OTSUSB_SETTINGS", ""}, {"OTSUSB_DLL", "otsusb.dll"}};
    ASSERT_FALSE(ImportRegFile(OTS_DRIVER_REG, options));
    EXPECT_EQ(ReadString(ots::kClientDriverKey, L"Dll"), L"otsusb.dll");
    std::array<std::uint8_t, ots::kDriverConfigSize> driver{};
    ots::EncodeDriverConfig(ots::DefaultDriverConfig(), driver);
    std::array<std::uint8_t, ots::kScreenConfigSize> screen{};
    ots::EncodeScreenConfig(ots::DefaultScreenConfig(), screen);
    const struct {
        const wchar_t* key;
        std::span<const ots::RegistryField> fields;
        std::span<const std::uint8_t> defaults;
    } records[] = {{ots::kDriverConfigKey, ots::DriverConfigFields(), driver},
                   {ots::kScreenConfigKey, ots::ScreenConfigFields(), screen}};
    for (const auto& record : records) {
        for (const ots::RegistryField& field : record.fields) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(field.name)));
            const std::uint32_t expected = ots::FieldToRegistry(record.defaults, field);
            const std::optional<DWORD> stored = ReadDword(record.key, field.name);
            EXPECT_EQ(stored.value_or(0), expected);
            EXPECT_TRUE(stored || expected == 0) << "a default other than 0 is missing";
        }
    }
}

}  // namespace
