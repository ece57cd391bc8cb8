#include "registry_state.h"

#include <utility>

namespace ce::registry {

RegistryState& Registry() {
    // Never destroyed: threads of drivers and devices may still touch the registry while the
    // process exits.
    static RegistryState* const state = new RegistryState;
    return *state;
}

KeyPtr ResolveKeyLocked(RegistryState& reg, HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        return reg.root;
    }
    const auto it = reg.handles.find(reinterpret_cast<std::uintptr_t>(hKey));
    return it == reg.handles.end() ? nullptr : it->second;
}

HKEY OpenHandleLocked(RegistryState& reg, KeyPtr key) {
    const std::uintptr_t value = reg.nextHandle;
    reg.nextHandle += 4;
    reg.handles.emplace(value, std::move(key));
    return reinterpret_cast<HKEY>(value);
}

bool CloseHandleLocked(RegistryState& reg, HKEY hKey) {
    return reg.handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) > 0;
}

void ReplaceRootLocked(RegistryState& reg, KeyPtr root) {
    MarkDeleted(*reg.root);
    reg.root = std::move(root);
    ++reg.changes;
}

}  // namespace ce::registry
