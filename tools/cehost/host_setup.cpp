#include "host_setup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ce/host/devmgr_host.h"
#include "ce/registry.h"
#include "ce/usbd.h"
#include "host_text.h"

namespace ots::host {
namespace {

namespace fs = std::filesystem;

// The device key the driver activates its stream devices under; the platform configuration
// names the driver library there.
constexpr const wchar_t* kDeviceKey = L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::wstring ReadDll() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t value[260] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);  // the last character stays a terminator
    DWORD type = REG_NONE;
    const LONG result =
        RegQueryValueExW(key, L"Dll", nullptr, &type, reinterpret_cast<LPBYTE>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

}  // namespace

std::string DefaultStateDir() {
    if (const std::string state = Environment("XDG_STATE_HOME"); !state.empty()) {
        return state + "/ots";
    }
    return Environment("HOME") + "/.local/state/ots";
}

bool PrepareStateDir(const std::string& dir, std::string* error) {
    fs::path made;
    for (const auto& part : fs::path(dir)) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
            *error =
                "cannot create the state folder " + made.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    const std::string probe = (fs::path(dir) / ".cehost-probe").string();
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = "cannot write to the state folder " + dir + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string ProgramDir() {
    std::error_code failure;
    const fs::path program = fs::read_symlink("/proc/self/exe", failure);
    return failure ? std::string(".") : program.parent_path().string();
}

std::string FindPlatformConfig(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const std::vector<fs::path> candidates = {
        fs::path(ProgramDir()) / "platform.reg",
        fs::path(OTS_SOURCE_DIR) / "config" / "platform.reg",
    };
    for (const fs::path& candidate : candidates) {
        std::error_code failure;
        if (fs::is_regular_file(candidate, failure)) {
            return candidate.string();
        }
    }
    return {};
}

bool InstallDriver(std::string* error) {
    const std::wstring dll = ReadDll();
    if (dll.empty()) {
        *error = "the platform configuration names no driver library (\"Dll\" of " +
                 Narrow(kDeviceKey) + ")";
        return false;
    }
    const std::string path = ce::host::ResolveDriverLibrary(Narrow(dll));
    // Kept loaded for the life of the host, as the USB stack keeps it.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        *error = "cannot load the driver library " + path + ": " +
                 (reason != nullptr ? reason : "unknown reason");
        return false;
    }
    auto install = reinterpret_cast<LPUSB_INSTALL_DRIVER>(::dlsym(library, "USBInstallDriver"));
    if (install == nullptr) {
        *error = "the driver library " + path + " exports no USBInstallDriver";
        return false;
    }
    if (!install(dll.c_str())) {
        *error = "USBInstallDriver of " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace ots::host
