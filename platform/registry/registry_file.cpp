// Binding the registry to a .reg file that every change is saved to.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ce/debug.h"
#include "ce/host/registry_store.h"
#include "durable_file.h"
#include "reg_text.h"
#include "registry_state.h"

namespace ce::registry {
namespace {

using host::RegistryError;

// Lock order: the binding's mutex, then the registry's. Registry calls release the registry
// lock before they save, so the disk is never waited for under it.
struct FileBinding {
    std::mutex mutex;
    std::string path;                // empty while unbound
    std::uint64_t savedChanges = 0;  // Registry().changes as of the last good save
};

FileBinding& Binding() {
    static FileBinding* const binding = new FileBinding;  // outlives late registry calls
    return *binding;
}

// Caller holds the binding's mutex. Returns what failed, for the caller to report once the
// mutex is released.
std::optional<std::string> SaveLocked(FileBinding& binding) {
    if (binding.path.empty()) {
        return std::nullopt;
    }
    std::string text;
    std::uint64_t changes = 0;
    {
        RegistryState& reg = Registry();
        std::lock_guard lock(reg.mutex);
        if (reg.changes == binding.savedChanges) {
            return std::nullopt;  // an earlier save already took this change along
        }
        changes = reg.changes;
        text = WriteRegText(*reg.root, {});
    }
    auto failure = ReplaceFileDurably(binding.path, text);
    if (!failure) {
        binding.savedChanges = changes;
    }
    return failure;
}

void ReportSaveFailure(const std::optional<std::string>& failure) {
    if (failure) {
        NKDbgPrintfW(L"<registry><SaveRegistryFile>%hs; the registry stays in memory only.\n",
                     failure->c_str());
    }
}

// Replaces the registry with the file's content; a missing file is an empty registry.
std::optional<RegistryError> LoadLocked(FileBinding& binding, const std::string& path) {
    std::string text;
    std::optional<RegistryError> error;
    std::vector<RegSection> sections;
    if (const int readError = ReadWholeFile(path, text); readError == 0) {
        ParsedRegText parsed = ParseRegText(text, path, {}, true);
        error = std::move(parsed.error);
        sections = std::move(parsed.sections);
    } else if (readError != ENOENT) {
        error = RegistryError{path, 0,
                              std::string("cannot read the file: ") + std::strerror(readError)};
    }
    if (error) {
        const std::string aside = path + ".corrupt";
        if (std::rename(path.c_str(), aside.c_str()) == 0) {
            error->message +=
                "; the file was set aside as " + aside + " and the registry starts empty";
        } else {
            error->message += "; it could not be set aside as " + aside + " (" +
                              std::strerror(errno) + ") and the registry starts empty";
        }
        sections.clear();
    }
    RegistryState& reg = Registry();
    std::lock_guard lock(reg.mutex);
    auto root = std::make_shared<RegKey>();
    ApplyRegSections(root, sections);
    ReplaceRootLocked(reg, std::move(root));
    binding.savedChanges = reg.changes;  // the file (or its absence) holds exactly this
    return error;
}

}  // namespace

void PersistChange() {
    FileBinding& binding = Binding();
    std::optional<std::string> failure;
    {
        std::lock_guard lock(binding.mutex);
        failure = SaveLocked(binding);
    }
    ReportSaveFailure(failure);
}

}  // namespace ce::registry

namespace ce::host {

std::optional<RegistryError> BindRegistryFile(const std::string& path) {
    ce::registry::FileBinding& binding = ce::registry::Binding();
    std::lock_guard lock(binding.mutex);
    binding.path = path;
    return ce::registry::LoadLocked(binding, path);
}

void UnbindRegistryFile() {
    ce::registry::FileBinding& binding = ce::registry::Binding();
    std::optional<std::string> failure;
    {
        std::lock_guard lock(binding.mutex);
        failure = ce::registry::SaveLocked(binding);  // retries a save that failed earlier
        binding.path.clear();
    }
    ce::registry::ReportSaveFailure(failure);
}

}  // namespace ce::host
