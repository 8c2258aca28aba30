#pragma once

// Whole-file reading and replacing for the program's small files beside the executable.

#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// The file's bytes; an empty text when there is no such file; nullopt when it exists but cannot
// be read (a folder, no permission), so that a caller never mistakes it for an empty file.
std::optional<std::string> ReadFileIfAny(const std::string& path);

// Gives the file exactly `bytes`, creating it when missing. The bytes go to a temporary file in
// the same folder, are flushed to the disk, and the temporary file is renamed over the old one,
// so that a crash or a full disk leaves either the old or the new file, never a mix.
// An existing file must be writable as it stands (a file the user made read-only still fails)
// and keeps its permissions and, where allowed, its owner; a symbolic link is followed and the
// file it points to is replaced. False on any failure, with the old file untouched and no
// temporary file left behind.
bool ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace tavrin
