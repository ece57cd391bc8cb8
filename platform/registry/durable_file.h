// Whole-file reads and crash-safe whole-file replacement.
#pragma once

#include <optional>
#include <string>

namespace ce::registry {

// 0 on success, otherwise the errno of the failing step.
int ReadWholeFile(const std::string& path, std::string& contents);

// Writes "<path>.tmp", flushes it to the disk, renames it over `path` and flushes the folder,
// so that a crash at any moment leaves either the old or the new file. Returns a description
// of the failing step.
std::optional<std::string> ReplaceFileDurably(const std::string& path, const std::string& contents);

}  // namespace ce::registry
