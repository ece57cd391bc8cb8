// Where the device host's socket lives, and the private folder it lives in.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ce/host/stream_server.h"
#include "socket_path.h"

namespace ce::host {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string DevmgrSocketPath() {
    if (std::string path = Environment("OTS_DEVMGR_SOCKET"); !path.empty()) {
        return path;
    }
    if (const std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/ots/devmgr.sock";
    }
    return "/tmp/ots-" + std::to_string(::getuid()) + "/devmgr.sock";
}

}  // namespace ce::host

namespace ce::devmgr {

bool PrepareSocketFolder(const std::string& socketPath, std::string* error) {
    const std::filesystem::path folder = std::filesystem::path(socketPath).parent_path();
    if (folder.empty()) {
        return true;  // a bare name lives in the current folder
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            *error = folder.string() + " is not a folder";
            return false;
        }
        // Someone else's folder could hand our socket to them.
        if (info.st_uid != ::getuid()) {
            *error = "the folder " + folder.string() + " belongs to another user";
            return false;
        }
        return true;
    }
    // Only the folders made here get 0700: an existing one is the owner's choice.
    std::filesystem::path made;
    for (const auto& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot create the folder " + made.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace ce::devmgr
