// The key tree behind HKEY_LOCAL_MACHINE: keys, values and paths. No locking here; the caller
// holds the registry lock (registry_state.h).
#pragma once

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ce/types.h"

namespace ce::registry {

// The limits Windows puts on names and depth. They also bound the recursion of export and
// delete, whatever a .reg file asks for.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;

struct RegValue {
    std::wstring name;  // as created
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegKey {
    std::wstring name;                                        // as created; empty for the root
    std::size_t depth = 0;                                    // levels below the root
    std::map<std::wstring, std::shared_ptr<RegKey>> subkeys;  // by folded name
    std::map<std::wstring, RegValue> values;                  // by folded name; "" is the default
    // Set when the key is deleted or the tree replaced while a handle still refers to it.
    bool deleted = false;
};

using KeyPtr = std::shared_ptr<RegKey>;
using KeyPath = std::vector<std::wstring>;

// Splits a backslash-separated path. Empty components (a leading, doubled or trailing
// backslash) are skipped, so "\A\\B\" names the same key as "A\B".
KeyPath SplitKeyPath(std::wstring_view path);

// A name can be stored and written to a .reg file and read back: no control characters,
// every character a Unicode scalar value, and within the length limit.
bool IsValidKeyName(std::wstring_view name);
bool IsValidValueName(std::wstring_view name);
// Every component valid, and the key it names, `path` below a key at `baseDepth`, no deeper
// than kMaxKeyDepth below the root.
bool IsValidKeyPath(std::size_t baseDepth, const KeyPath& path);

// Null when a component is missing.
KeyPtr FindKey(const KeyPtr& base, std::span<const std::wstring> path);
// Creates missing components; `created` tells whether the last one was new.
KeyPtr CreateKey(const KeyPtr& base, std::span<const std::wstring> path, bool& created);
// Deletes the key at `path` (non-empty) below `base` with everything under it. False when
// it does not exist.
bool DeleteKey(RegKey& base, std::span<const std::wstring> path);
// Marks a detached subtree as deleted, so handles that still refer into it see that.
void MarkDeleted(RegKey& key);

const RegValue* FindValue(const RegKey& key, std::wstring_view name);
// Returns whether anything changed (a value rewritten with the same type and bytes did not).
bool SetValue(RegKey& key, std::wstring_view name, DWORD type, std::span<const BYTE> data);
bool DeleteValue(RegKey& key, std::wstring_view name);

}  // namespace ce::registry
