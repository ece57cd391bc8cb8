#include "registry_tree.h"

#include <algorithm>
#include <cstdint>
#include <ranges>

#include "name_fold.h"
#include "utf8.h"

namespace ce::registry {
namespace {

// Control characters would break the line structure of the .reg file form.
bool IsStorableName(std::wstring_view name, std::size_t maxChars) {
    if (name.size() > maxChars) {
        return false;
    }
    return std::ranges::all_of(name, [](wchar_t c) {
        const auto u = static_cast<std::uint32_t>(c);
        return u >= 0x20 && u != 0x7F && IsScalarValue(c);
    });
}

}  // namespace

KeyPath SplitKeyPath(std::wstring_view path) {
    KeyPath parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

bool IsValidKeyName(std::wstring_view name) {
    return !name.empty() && IsStorableName(name, kMaxKeyNameChars);
}

bool IsValidValueName(std::wstring_view name) {
    return IsStorableName(name, kMaxValueNameChars);
}

bool IsValidKeyPath(std::size_t baseDepth, const KeyPath& path) {
    return baseDepth + path.size() <= kMaxKeyDepth &&
           std::ranges::all_of(path, [](const std::wstring& part) { return IsValidKeyName(part); });
}

KeyPtr FindKey(const KeyPtr& base, std::span<const std::wstring> path) {
    KeyPtr key = base;
    for (const std::wstring& part : path) {
        const auto it = key->subkeys.find(FoldName(part));
        if (it == key->subkeys.end()) {
            return nullptr;
        }
        key = it->second;
    }
    return key;
}

KeyPtr CreateKey(const KeyPtr& base, std::span<const std::wstring> path, bool& created) {
    created = false;
    KeyPtr key = base;
    for (const std::wstring& part : path) {
        KeyPtr& slot = key->subkeys[FoldName(part)];
        created = !slot;
        if (created) {
            slot = std::make_shared<RegKey>();
            slot->name = part;
            slot->depth = key->depth + 1;
        }
        key = slot;
    }
    return key;
}

bool DeleteKey(RegKey& base, std::span<const std::wstring> path) {
    if (path.empty()) {
        return false;
    }
    RegKey* parent = &base;
    for (const std::wstring& part : path.first(path.size() - 1)) {
        const auto it = parent->subkeys.find(FoldName(part));
        if (it == parent->subkeys.end()) {
            return false;
        }
        parent = it->second.get();
    }
    const auto it = parent->subkeys.find(FoldName(path.back()));
    if (it == parent->subkeys.end()) {
        return false;
    }
    MarkDeleted(*it->second);
    parent->subkeys.erase(it);
    return true;
}

void MarkDeleted(RegKey& key) {
    key.deleted = true;
    for (auto& entry : key.subkeys) {
        MarkDeleted(*entry.second);
    }
}

const RegValue* FindValue(const RegKey& key, std::wstring_view name) {
    const auto it = key.values.find(FoldName(name));
    return it == key.values.end() ? nullptr : &it->second;
}

bool SetValue(RegKey& key, std::wstring_view name, DWORD type, std::span<const BYTE> data) {
    const auto [it, inserted] = key.values.try_emplace(FoldName(name));
    RegValue& value = it->second;
    if (inserted) {
        value.name = std::wstring(name);  // a rewrite keeps the case the value was created with
    } else if (value.type == type && std::ranges::equal(value.data, data)) {
        return false;
    }
    value.type = type;
    value.data.assign(data.begin(), data.end());
    return true;
}

bool DeleteValue(RegKey& key, std::wstring_view name) {
    return key.values.erase(FoldName(name)) > 0;
}

}  // namespace ce::registry
