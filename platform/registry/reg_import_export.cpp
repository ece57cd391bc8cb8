// The host's .reg text import and export of the live registry.
#include <cstring>
#include <mutex>

#include "ce/host/registry_store.h"
#include "durable_file.h"
#include "name_fold.h"
#include "reg_text.h"
#include "registry_state.h"

namespace ce::host {

using namespace ce::registry;

std::string RegistryError::ToString() const {
    std::string where = file;
    if (line > 0) {
        where += (where.empty() ? "line " : ":") + std::to_string(line);
    }
    return where.empty() ? message : where + ": " + message;
}

void ResetRegistry() {
    {
        RegistryState& reg = Registry();
        std::lock_guard lock(reg.mutex);
        ReplaceRootLocked(reg, std::make_shared<RegKey>());
    }
    PersistChange();
}

namespace {

void NoteSkippedKeys(const ParsedRegText& parsed, const std::string& fileName,
                     const RegTextOptions& options) {
    if (parsed.skippedKeys > 0 && options.note) {
        options.note((fileName.empty() ? std::string() : fileName + ": ") + "skipped " +
                     std::to_string(parsed.skippedKeys) +
                     (parsed.skippedKeys == 1 ? " key" : " keys") +
                     " under roots other than HKEY_LOCAL_MACHINE");
    }
}

}  // namespace

std::optional<RegistryError> ImportRegText(const std::string& text, const std::string& fileName,
                                           const RegTextOptions& options) {
    ParsedRegText parsed = ParseRegText(text, fileName, options);
    if (parsed.error) {
        return parsed.error;
    }
    NoteSkippedKeys(parsed, fileName, options);
    bool changed = false;
    {
        RegistryState& reg = Registry();
        std::lock_guard lock(reg.mutex);
        changed = ApplyRegSections(reg.root, parsed.sections);
        if (changed) {
            ++reg.changes;
        }
    }
    if (changed) {
        PersistChange();
    }
    return std::nullopt;
}

std::optional<RegistryError> ImportRegFile(const std::string& path, const RegTextOptions& options) {
    std::string text;
    if (const int error = ReadWholeFile(path, text); error != 0) {
        return RegistryError{path, 0, std::string("cannot read the file: ") + std::strerror(error)};
    }
    return ImportRegText(text, path, options);
}

std::optional<RegistryError> ResolveRegText(const std::string& text, const std::string& fileName,
                                            const RegTextOptions& options, std::string& regedit) {
    ParsedRegText parsed = ParseRegText(text, fileName, options);
    if (parsed.error) {
        return parsed.error;
    }
    NoteSkippedKeys(parsed, fileName, options);
    regedit = WriteRegSections(parsed.sections);
    return std::nullopt;
}

std::string ExportRegText(const std::wstring& keyPath) {
    RegistryState& reg = Registry();
    std::lock_guard lock(reg.mutex);
    KeyPath path;  // in the case the keys were created with
    KeyPtr key = reg.root;
    for (const std::wstring& part : SplitKeyPath(keyPath)) {
        const auto it = key->subkeys.find(FoldName(part));
        if (it == key->subkeys.end()) {
            return std::string(kRegHeader5) + "\n";
        }
        key = it->second;
        path.push_back(key->name);
    }
    return WriteRegText(*key, path);
}

}  // namespace ce::host
