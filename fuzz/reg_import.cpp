// The .reg importer on any text. What it accepts must export and import again to the same
// text, as the registry promises.
#include <cstdlib>
#include <string>

#include "ce/host/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ce::host::ResetRegistry();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (ce::host::ImportRegText(text, "fuzz.reg")) {
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
