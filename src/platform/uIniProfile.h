#pragma once

// An INI profile service: one value read or written per call, by file, section and key;
// nothing cached, so a written value is in the file when the call returns. Sections and keys
// match without regard to case. A write updates an existing key in its line, appends a new key
// at the end of its section and a new section at the end of the file, and leaves every other
// line (comments, unknown keys, garbage) as it stands; uIniDocument.h has the exact rules. Each
// change replaces the file through a temporary file beside it (uFileReplace.h), so a crash or a
// full disk never leaves it half written. A file in UTF-16 is neither read nor written.

#include <optional>
#include <string>
#include <string_view>

#include "uIniText.h"

namespace tavrin {

// The value of section/key with surrounding blanks removed and cut to kProfileValueLimit
// characters, or nullopt when the file, section or key is missing or the file is unreadable.
std::optional<std::string> ProfileRead(const std::string& path, std::string_view section,
                                       std::string_view key);
// False when the file cannot be written, or the section or key name cannot be stored.
bool ProfileWrite(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value);
// Removes the section with all its keys; true also when there was nothing to remove, in which
// case the file is not touched.
bool ProfileEraseSection(const std::string& path, std::string_view section);

}  // namespace tavrin
