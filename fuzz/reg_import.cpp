// The .reg importer on any text, regedit's or a device image's registry file. What it accepts
// must export and import again to the same text, as the registry promises. A device image's
// file includes the text after the input's first NUL byte under any name, and sees three names
// defined, so that IF, #if, #include and $(NAME) all have something to reach.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "ce/host/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ce::host::ResetRegistry();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    ce::host::RegTextOptions options;
    options.defines = {{"SET", ""}, {"ONE", "1"}, {"NAME", "OtsUSB"}};
    options.readFile = [&](const std::string&, std::string& text) {
        if (split == std::string::npos) {
            return ENOENT;
        }
        text = input.substr(split + 1);
        return 0;
    };
    if (ce::host::ImportRegText(input.substr(0, split), "fuzz.reg", options)) {
        return 0;
    }
    const std::string exported = ce::host::ExportRegText();
    ce::host::ResetRegistry();
    if (ce::host::ImportRegText(exported, "exported.reg") ||
        ce::host::ExportRegText() != exported) {
        std::abort();  // the export of an accepted import does not read back the same
    }
    return 0;
}
