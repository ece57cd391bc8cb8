// A stream driver library loaded for one device instance, and the entry points it exports.
#pragma once

#include <memory>
#include <string>

#include "ce/devmgr.h"

namespace ce::devmgr {

struct StreamEntryPoints {
    LPSTREAM_INIT init = nullptr;
    LPSTREAM_DEINIT deinit = nullptr;
    LPSTREAM_OPEN open = nullptr;
    LPSTREAM_CLOSE close = nullptr;
    LPSTREAM_IOCONTROL ioControl = nullptr;
};

// Holds one reference to the library (dlopen); a library the USB stack already loaded is the
// same library, only its reference count changes.
class DriverLibrary {
  public:
    // Loads the file and looks up <prefix>_Init and the rest. Null with *error set to
    // ERROR_FILE_NOT_FOUND (does not load) or ERROR_NOT_SUPPORTED (an entry point is missing).
    static std::unique_ptr<DriverLibrary> Load(const std::string& path, const std::string& prefix,
                                               DWORD* error);
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    const std::string& Path() const { return path_; }
    const StreamEntryPoints& Entries() const { return entries_; }

  private:
    DriverLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    bool Bind(const std::string& prefix);

    void* handle_;
    std::string path_;
    StreamEntryPoints entries_;
};

}  // namespace ce::devmgr
