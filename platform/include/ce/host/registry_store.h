// The host side of the registry: .reg text import and export, and binding the registry to a
// file that every change is saved to durably and atomically.
#pragma once

#include <optional>
#include <string>

namespace ce::host {

struct RegistryError {
    std::string file;  // empty for text that came from memory
    int line = 0;      // 1-based; 0 when no line is at fault
    std::string message;
    std::string ToString() const;  // "file:line: message"
};

// Clears the whole registry (tests, hosts at start).
void ResetRegistry();

// Merges .reg text ("Windows Registry Editor Version 5.00" or "REGEDIT4") into the registry.
// On a syntax error nothing is merged and the error names the line.
std::optional<RegistryError> ImportRegText(const std::string& text, const std::string& fileName = {});
std::optional<RegistryError> ImportRegFile(const std::string& path);

// The whole registry (or one key and its subkeys) as "Windows Registry Editor Version 5.00"
// text; importing it gives back the same keys and values byte for byte.
std::string ExportRegText(const std::wstring& keyPath = {});

// Binds the registry to a file: loads it (a missing file means an empty registry), then saves
// every later change by writing a temporary file, flushing it and renaming it over the old one.
// A corrupt or unreadable file is renamed aside to "<path>.corrupt", the registry starts empty
// and the error (naming the file and the line) is returned; the binding holds either way.
std::optional<RegistryError> BindRegistryFile(const std::string& path);
void UnbindRegistryFile();

}  // namespace ce::host
