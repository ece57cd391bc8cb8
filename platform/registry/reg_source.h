// The lines a .reg text is parsed from, each with the file and line it came from.
//
// regedit's files are read line for line. The registry files a device image is built from have
// no header line and are preprocessed first: ';' comments (the build system's
// "; @CESYSGEN IF ..." lines among them), #define / #undef, #include "file" (relative to the
// including file), #if / #ifdef / #ifndef / #else / #endif, the image builder's
// IF NAME / IF NAME ! / IF NAME == value / IF NAME != value blocks (with ELSE, closed by ENDIF)
// and $(NAME) macros.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ce/host/registry_store.h"

namespace ce::registry {

struct SourceLine {
    std::string_view text;
    std::size_t file = 0;  // index into RegSource::files
    int line = 0;          // 1-based
};

struct RegSource {
    bool imageForm = false;          // no regedit header: a device image's registry file
    std::vector<std::string> files;  // the main file first, then every file it included
    std::deque<std::string> texts;   // what the lines' views point into
    std::vector<SourceLine> lines;
    std::optional<host::RegistryError> error;
};

// Splits text into lines (LF or CR LF) after a UTF-8 byte-order mark and before a trailing DOS
// end-of-file byte.
std::vector<std::string_view> SplitLines(std::string_view text);

// regedit's form (its header is the first line that is not blank) as it stands; any other text
// as a device image's registry file, or with `regeditOnly` (the host's own registry file) as
// an error at that line.
RegSource ReadRegSource(std::string text, const std::string& fileName,
                        const host::RegTextOptions& options, bool regeditOnly = false);

}  // namespace ce::registry
