#pragma once

// An INI profile service: one value read or written per call, by file, section and key;
// nothing cached, so a written value is in the file when the call returns. Sections and keys
// match without regard to case. A write updates an existing key in its line, appends a new key
// at the end of its section and a new section at the end of the file, and leaves every other
// line (comments, unknown keys, garbage) as it stands. Each change replaces the file through a
// temporary file beside it, so a crash or a full disk never leaves it half written.

#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

inline constexpr size_t kProfileValueLimit = 2047;

// The value of section/key with surrounding blanks removed and cut to kProfileValueLimit
// characters, or nullopt when the file, section or key is missing.
std::optional<std::string> ProfileRead(const std::string& path, std::string_view section,
                                       std::string_view key);
// False when the file cannot be written.
bool ProfileWrite(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value);
// Removes the section with all its keys; true also when there was nothing to remove.
bool ProfileEraseSection(const std::string& path, std::string_view section);

}  // namespace tavrin
