// The handle table. Handles count up from kFirstHandle in steps of 4 and are never given out
// twice, so a closed handle stays recognisably dead instead of naming some newer object.
#include "ce/host/kernel_object.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "ce/kernel.h"

namespace ce::host {
namespace {

constexpr std::uintptr_t kFirstHandle = 0x100;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleTable {
    std::shared_mutex mutex;
    std::uintptr_t next = kFirstHandle;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handles per object: OnClose runs when the last of them is closed.
    std::unordered_map<const KernelObject*, std::size_t> handleCounts;
};

// Never destroyed: threads that outlive main may still close or look up handles.
HandleTable& Table() {
    static auto* table = new HandleTable;
    return *table;
}

std::uintptr_t Key(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

// Takes the handle out of the table; returns the object when that was its last handle.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle, bool& found) {
    HandleTable& table = Table();
    std::unique_lock lock(table.mutex);
    const auto it = table.objects.find(Key(handle));
    found = it != table.objects.end();
    if (!found) {
        return nullptr;
    }
    std::shared_ptr<KernelObject> object = std::move(it->second);
    table.objects.erase(it);
    const auto count = table.handleCounts.find(object.get());
    if (--count->second != 0) {
        return nullptr;
    }
    table.handleCounts.erase(count);
    return object;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    if (!object) {
        return nullptr;
    }
    HandleTable& table = Table();
    std::unique_lock lock(table.mutex);
    const std::uintptr_t key = table.next;
    table.next += kHandleStep;
    ++table.handleCounts[object.get()];
    table.objects.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::shared_lock lock(table.mutex);
    const auto it = table.objects.find(Key(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::size_t LiveHandleCount() {
    HandleTable& table = Table();
    std::shared_lock lock(table.mutex);
    return table.objects.size();
}

}  // namespace ce::host

extern "C" BOOL CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentThread()) {
        return TRUE;  // closing the pseudo handle has no effect
    }
    bool found = false;
    const std::shared_ptr<ce::host::KernelObject> last = ce::host::RemoveHandle(hObject, found);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Outside the table lock: closing a stream handle calls into its driver, which may use
    // handles itself.
    return last ? last->OnClose() : TRUE;
}
