#pragma once

// The text of an INI file, read and edited one value at a time. The profile service runs these
// on the bytes of the file; keeping them free of file access lets the fuzzer drive them.
//
// How a text is read, whatever it holds:
// - Lines end with "\n" or "\r\n"; a last line may have no line end. Any other byte, NUL and
//   bytes above 127 included, is an ordinary character.
// - A line whose first non-blank character is "[" and that holds a "]" is a section header;
//   the name is what stands between the "[" and the first "]", blanks around it ignored.
// - In a section, a line with a "=" whose text before the first "=" is not blank and does not
//   start with ";" or "#" is a key line: key and value are the texts either side of that "=",
//   blanks around each ignored. Every other line (comments, lines without "=", lines before the
//   first section) holds no value and is kept as it stands.
// - Sections and keys match without regard to ASCII case; other bytes must be equal.
// - When a section or a key appears more than once, the first one is the one read and written;
//   the later ones are kept but never seen. Erasing a section removes every section of that
//   name, so an older copy cannot come back to life.
// - A value read is cut to kProfileValueLimit characters.
// "Blanks" are spaces and control characters (TrimBlanks).
//
// How a text is written:
// - A key that exists gets its line rewritten as "key=value", keeping the line's own line end.
// - A new key goes right after the last key line of its section (after the header when there
//   is none); a new section goes to the end of the text, without a blank line before it.
// - New lines end like the first line of the text that has a line end ("\r\n" or "\n"), and
//   with "\n" in a text that has none; a last line without a line end gets one before a line
//   is added after it.
// - Line breaks in a value are written as spaces, so that a value can never add lines.
// - Every byte the write does not own stays as it was.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

inline constexpr size_t kProfileValueLimit = 2047;

// True when `name` can be written as a section header and reads back as itself.
bool IsValidIniSection(std::string_view name);
// True when `name` can be written as a key and reads back as itself.
bool IsValidIniKey(std::string_view name);

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

}  // namespace tavrin
