// The host side of the registry: .reg text import and export, and binding the registry to a
// file that every change is saved to durably and atomically.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace ce::host {

struct RegistryError {
    std::string file;  // empty for text that came from memory
    int line = 0;      // 1-based; 0 when no line is at fault
    std::string message;
    std::string ToString() const;  // "file:line: message"
};

// Clears the whole registry (tests, hosts at start). Open key handles then answer
// ERROR_KEY_DELETED.
void ResetRegistry();

// How the registry files a device image is built from are read (regedit's files ignore it).
struct RegTextOptions {
    // The names IF and #if test and $(NAME) expands to (cehost and cectl: --define NAME[=VALUE]).
    std::map<std::string, std::string> defines;
    // Reads the file an #include names, joined to the including file's folder: 0 or the errno
    // of the failure. Empty: the file system.
    std::function<int(const std::string& path, std::string& text)> readFile;
    // Told once, after a good parse, how many keys under roots other than HKEY_LOCAL_MACHINE
    // were skipped, as one line naming the file.
    std::function<void(const std::string& line)> note;
};

// Merges .reg text ("Windows Registry Editor Version 5.00" or "REGEDIT4") into the registry:
// [HKEY_LOCAL_MACHINE\...] sections, [-HKEY_LOCAL_MACHINE\...] to delete a key and its subkeys,
// "name"="text" (UTF-8, with \\ and \" escapes), "name"=dword:1a2b, "name"=hex:01,02 and
// "name"=hex(N):... for any other type (lists may continue on the next line after a '\'),
// "name"=- to delete a value, @ for the default value, ';' comments. hex lists carry a value's
// bytes as the registry stores them, so a REG_SZ in hex(1): has 4-byte WCHARs.
// Text without that header is a device image's registry file: ';' comments, #define, #undef,
// #include "file", #if/#ifdef/#ifndef/#else/#endif, IF NAME [! | == value | != value] ... ELSE
// ... ENDIF blocks, $(NAME) macros, "name"=multi_sz:"a","b", indented values; keys under other
// roots (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS) are skipped.
// On a syntax error nothing is merged and the error names the file and the line.
std::optional<RegistryError> ImportRegText(const std::string& text,
                                           const std::string& fileName = {},
                                           const RegTextOptions& options = {});
std::optional<RegistryError> ImportRegFile(const std::string& path,
                                           const RegTextOptions& options = {});

// What importing the text would change, as regedit text (for a client that hands a device
// image's file, includes and defines resolved, to a host): in `regedit`, or the error.
std::optional<RegistryError> ResolveRegText(const std::string& text, const std::string& fileName,
                                            const RegTextOptions& options, std::string& regedit);

// The whole registry (or one key and its subkeys) as "Windows Registry Editor Version 5.00"
// text, keys sorted; importing it gives back the same keys and values byte for byte. A REG_SZ
// that is not one clean terminated string goes out as hex(1):. A missing key gives the header
// alone.
std::string ExportRegText(const std::wstring& keyPath = {});

// Binds the registry to a file: replaces the registry with the file's content (a missing file
// means an empty registry; import further .reg text after binding to layer it on top), then
// saves every later change before the changing call returns, by writing "<path>.tmp", flushing
// it, renaming it over the old file and flushing the folder: a crash at any moment leaves the
// old or the new file, never a torn one. Saving runs outside the registry's lock, so readers
// never wait for the disk. A failed save is reported on the debug output; the registry stays
// intact in memory and the next change (or the unbinding) tries again.
// A corrupt or unreadable file is renamed aside to "<path>.corrupt", the registry starts empty
// and the error (naming the file and the line) is returned; the binding holds either way.
std::optional<RegistryError> BindRegistryFile(const std::string& path);
// Stops saving; the registry stays as it is in memory.
void UnbindRegistryFile();

}  // namespace ce::host
