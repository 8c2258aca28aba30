#pragma once

// The text of an INI file, read and edited one value at a time: each call parses the whole text,
// as the profile service does on the bytes of the file. The rules are those of TIniDocument
// (uIniDocument.h); keeping them free of file access lets the fuzzer drive them.

#include <optional>
#include <string>
#include <string_view>

#include "uIniDocument.h"

namespace tavrin {

// The value of section/key, blanks around it removed and cut to kProfileValueLimit characters;
// nullopt when the section or the key is missing.
std::optional<std::string> IniReadValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// Sets section/key to `value` in `text`. False, with `text` unchanged, when the section or key
// name is not valid.
bool IniWriteValue(std::string& text, std::string_view section, std::string_view key,
                   std::string_view value);

// Removes every section named `section` with all its lines. False when there was none.
bool IniEraseSection(std::string& text, std::string_view section);

// True for a text in UTF-16 (with its byte-order mark, or without one when every other byte is
// NUL all through): its sections cannot be read as 8-bit text, and writing 8-bit lines into it
// would damage it.
bool IsUtf16Text(std::string_view text);

}  // namespace tavrin
