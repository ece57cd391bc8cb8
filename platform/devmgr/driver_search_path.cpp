// Driver library names as files, in the search path the USB stack keeps.
#include <filesystem>
#include <string>

#include "ce/host/devmgr_host.h"

namespace ce::host {

std::string ResolveDriverLibrary(const std::string& fileName) {
    const std::filesystem::path name(fileName);
    if (name.is_absolute()) {
        return fileName;
    }
    return (std::filesystem::path(DriverSearchPath()) / name).string();
}

}  // namespace ce::host
