#pragma once

// Whole-file reading and replacing for the program's small files beside the executable.

#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// The file's bytes; an empty text when there is no such file; nullopt when it exists but cannot
// be read (a folder, no permission), so that a caller never mistakes it for an empty file.
std::optional<std::string> ReadFileIfAny(const std::string& path);

// Replaces the whole content of the file at `path` with `data`, creating it when missing: written
// to a temporary file beside it, flushed to disk, then renamed over the old one, so that a crash
// or a full disk leaves either the old file or the new one, never a mixture. An existing file
// must be writable as it stands (a file the user made read-only still fails) and keeps its
// permissions and, where allowed, its owner; a symbolic link is followed and the file it points
// to is replaced. False when the file could not be replaced (nothing is left behind then).
bool ReplaceFileContents(const std::string& path, std::string_view data);

}  // namespace tavrin
