#pragma once

// The text of an INI file held as lines, for reading and editing it by section and key. Each read
// or write costs about as much as the line it touches, so a whole save of thousands of values
// stays linear; the text it gives is byte for byte what the same edits give one at a time.
//
// How a text is read, whatever it holds:
// - Lines end with "\r\n", "\n" or a "\r" alone; a last line may have no line end. Any other
//   byte, NUL and bytes above 127 included, is an ordinary character.
// - A UTF-8 byte-order mark at the very start belongs to no line; it is kept as it is.
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
// - New lines end like the first line of the text that has a line end, and with "\n" in a text
//   that has none; a last line without a line end gets one before a line is added after it.
// - Line breaks in a value are written as spaces, so that a value can never add lines.
// - Every byte the write does not own stays as it was.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavrin {

inline constexpr size_t kProfileValueLimit = 2047;

// True when `name` can be written as a section header and reads back as itself.
bool IsValidIniSection(std::string_view name);
// True when `name` can be written as a key and reads back as itself.
bool IsValidIniKey(std::string_view name);

class TIniDocument {
  public:
    explicit TIniDocument(std::string_view text = {});

    // The whole text, as the file would hold it.
    std::string Text() const;

    // The value of section/key, blanks around it removed and cut to kProfileValueLimit
    // characters; nullopt when the section or the key is missing.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // Sets section/key to `value`. False, with nothing changed, when the section or key name is
    // not valid.
    bool Write(std::string_view section, std::string_view key, std::string_view value);
    // Removes every section named `section` with all its lines. False when there was none.
    bool EraseSection(std::string_view section);

  private:
    enum class TLineEnd : uint8_t { None, Lf, CrLf, Cr };
    enum class TLineKind : uint8_t { Other, Section, Key };

    struct TLine {
        std::string Content;  // without its line end
        TLineEnd End = TLineEnd::None;
        TLineKind Kind = TLineKind::Other;
        // Section or key name and the value, as offsets into Content, blanks removed.
        uint32_t NameStart = 0;
        uint32_t NameLength = 0;
        uint32_t ValueStart = 0;
        uint32_t ValueLength = 0;

        std::string_view Name() const;
        std::string_view Value() const;
    };

    struct TSection {
        TLine Header;
        std::vector<TLine> Body;  // every line up to the next header
        // First key line of each (lower-case) key name, and the last key line: indices in Body.
        std::unordered_map<std::string, size_t> Keys;
        std::optional<size_t> LastKey;
        bool Erased = false;
    };

    static TLine MakeLine(std::string content, TLineEnd end);
    static void Classify(TLine& line);
    static std::string_view EndText(TLineEnd end);
    void AddParsedLine(TLine line);
    void IndexKey(TSection& section, size_t index);
    // The line end new lines take, and the last line of the text (nullptr when there is none).
    TLineEnd NewLineEnd() const;
    TLine* LastLine();

    std::string Prefix;           // a byte-order mark
    std::vector<TLine> Preamble;  // lines before the first section
    std::vector<TSection> Sections;
    // Live sections of each (lower-case) name, in text order.
    std::unordered_map<std::string, std::vector<size_t>> SectionsByName;
};

}  // namespace tavrin
