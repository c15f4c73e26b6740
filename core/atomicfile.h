#pragma once

#include <optional>
#include <string>
#include <string_view>

// Data files are rewritten whole. The new contents go to a temporary file in
// the same folder, which is flushed to disk and then renamed over the old
// file, so a crash or a full disk leaves either the old file or the new one,
// never a half-written one.
// Returns false (and leaves the old file untouched) when anything fails.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view contents);

// Reads a whole file. std::nullopt when it does not exist or cannot be read.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::string& path);

// True when something exists under that name (the file may still be unreadable).
[[nodiscard]] bool fileExists(const std::string& path);
