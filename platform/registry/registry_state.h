// The one registry of the process: the tree, the table of open key handles and the lock that
// guards both.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "ce/registry.h"
#include "registry_tree.h"

namespace ce::registry {

struct RegistryState {
    std::mutex mutex;
    KeyPtr root = std::make_shared<RegKey>();
    // Open handles keep their key alive: a key deleted while open stays addressable and
    // answers ERROR_KEY_DELETED until the handle is closed.
    std::unordered_map<std::uintptr_t, KeyPtr> handles;
    std::uintptr_t nextHandle = 0x10000;  // never reused, so a stale handle stays invalid
    std::uint64_t changes = 0;            // bumped by every change; the file binding saves on it
};

RegistryState& Registry();

// HKEY_LOCAL_MACHINE or an open handle; null for anything else. Caller holds the lock.
KeyPtr ResolveKeyLocked(RegistryState& reg, HKEY hKey);
HKEY OpenHandleLocked(RegistryState& reg, KeyPtr key);
// True when the handle was open.
bool CloseHandleLocked(RegistryState& reg, HKEY hKey);
// Swaps in a new tree; handles into the old one see their keys as deleted.
void ReplaceRootLocked(RegistryState& reg, KeyPtr root);

// Saves the registry to its bound file if it changed since the last save. Called after a
// change with the registry lock released (registry_file.cpp).
void PersistChange();

}  // namespace ce::registry
