#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// Replaces the whole content of the file at `path` with `data`: written to a temporary file
// beside it, flushed to disk, then renamed over the old one, so that a crash or a full disk
// leaves either the old file or the new one, never a mixture. The old file's permissions are
// kept; a file the user cannot write stays as it is. False when the file could not be replaced
// (nothing is left behind then).
bool ReplaceFileContents(const std::string& path, std::string_view data);

}  // namespace tavrin
