// The kernel's handle table, as other parts of the stand-in use it: the device manager keeps
// its stream handles here so that CloseHandle closes them like any other kernel object.
#pragma once

#include <memory>

#include "ce/types.h"

namespace ce::host {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Called once when the last handle to the object is closed (CloseHandle). Returns the
    // BOOL that CloseHandle reports.
    virtual BOOL OnClose() { return TRUE; }
};

// Enters an object into the table and returns its handle (never null or
// INVALID_HANDLE_VALUE). Handles are not reused while the process lives.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null for a closed, unknown or differently typed handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Number of live handles (tests use it to find leaks).
std::size_t LiveHandleCount();

}  // namespace ce::host
