#include "uIniText.h"

#include <algorithm>
#include <vector>

#include "uNumberText.h"

namespace tavrin {
namespace {

enum class TLineKind { Other, Section, Key };

struct TIniLine {
    size_t Start = 0;  // first byte of the line
    size_t End = 0;    // end of its content, before the line end
    size_t Next = 0;   // first byte after its line end
    TLineKind Kind = TLineKind::Other;
    std::string_view Name;  // section or key name, blanks removed
    std::string_view Value;

    bool HasLineEnd() const { return Next > End; }
};

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

void Classify(std::string_view content, TIniLine& line) {
    const std::string_view text = TrimBlanks(content);
    if (text.empty()) {
        return;
    }
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close != std::string_view::npos) {
            line.Kind = TLineKind::Section;
            line.Name = TrimBlanks(text.substr(1, close - 1));
        }
        return;
    }
    if (text.front() == ';' || text.front() == '#') {
        return;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return;
    }
    line.Kind = TLineKind::Key;
    line.Name = TrimBlanks(text.substr(0, equals));
    line.Value = TrimBlanks(text.substr(equals + 1));
}

std::vector<TIniLine> SplitLines(std::string_view text) {
    std::vector<TIniLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        TIniLine line;
        line.Start = start;
        const size_t newline = text.find('\n', start);
        if (newline == std::string_view::npos) {
            line.End = line.Next = text.size();
        } else {
            line.Next = newline + 1;
            line.End = (newline > start && text[newline - 1] == '\r') ? newline - 1 : newline;
        }
        Classify(text.substr(line.Start, line.End - line.Start), line);
        lines.push_back(line);
        start = line.Next;
    }
    return lines;
}

// Lines [Header, End) of the first section named `name`; Header == lines.size() when missing.
struct TSectionSpan {
    size_t Header = 0;
    size_t End = 0;
};

size_t SectionEnd(const std::vector<TIniLine>& lines, size_t header) {
    size_t end = header + 1;
    while (end < lines.size() && lines[end].Kind != TLineKind::Section) {
        ++end;
    }
    return end;
}

TSectionSpan FindSection(const std::vector<TIniLine>& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].Kind == TLineKind::Section && SameName(lines[i].Name, name)) {
            return {i, SectionEnd(lines, i)};
        }
    }
    return {lines.size(), lines.size()};
}

// Index of the first key line named `key` in the section, or span.End.
size_t FindKey(const std::vector<TIniLine>& lines, TSectionSpan span, std::string_view key) {
    for (size_t i = span.Header + 1; i < span.End; ++i) {
        if (lines[i].Kind == TLineKind::Key && SameName(lines[i].Name, key)) {
            return i;
        }
    }
    return span.End;
}

std::string_view LineEndOf(std::string_view text, const std::vector<TIniLine>& lines) {
    for (const TIniLine& line : lines) {
        if (line.HasLineEnd()) {
            return text.substr(line.End, line.Next - line.End);
        }
    }
    return "\n";
}

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append(1, '=').append(value);
    std::replace_if(
        line.begin() + static_cast<std::ptrdiff_t>(key.size()), line.end(),
        [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

// Inserts `newLines` (each ending with `lineEnd`) after `line`, giving `line` a line end first
// when it is the unterminated last line.
void InsertAfter(std::string& text, const TIniLine& line, std::string_view lineEnd,
                 const std::string& newLines) {
    if (line.HasLineEnd()) {
        text.insert(line.Next, newLines);
    } else {
        text.append(lineEnd).append(newLines);
    }
}

}  // namespace

bool IsValidIniSection(std::string_view name) {
    return !name.empty() && TrimBlanks(name) == name && name.find(']') == std::string_view::npos &&
           !HasLineBreak(name);
}

bool IsValidIniKey(std::string_view name) {
    return !name.empty() && TrimBlanks(name) == name && name.find('=') == std::string_view::npos &&
           name.front() != '[' && name.front() != ';' && name.front() != '#' && !HasLineBreak(name);
}

std::optional<std::string> IniReadValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    const std::vector<TIniLine> lines = SplitLines(text);
    const TSectionSpan span = FindSection(lines, section);
    if (span.Header == lines.size()) {
        return std::nullopt;
    }
    const size_t keyLine = FindKey(lines, span, key);
    if (keyLine == span.End) {
        return std::nullopt;
    }
    return std::string(lines[keyLine].Value.substr(0, kProfileValueLimit));
}

bool IniWriteValue(std::string& text, std::string_view section, std::string_view key,
                   std::string_view value) {
    if (!IsValidIniSection(section) || !IsValidIniKey(key)) {
        return false;
    }
    const std::vector<TIniLine> lines = SplitLines(text);
    const std::string lineEnd(LineEndOf(text, lines));
    const std::string keyLine = KeyLine(key, value);
    const TSectionSpan span = FindSection(lines, section);

    if (span.Header == lines.size()) {
        if (!lines.empty() && !lines.back().HasLineEnd()) {
            text.append(lineEnd);
        }
        text.append("[").append(section).append("]").append(lineEnd);
        text.append(keyLine).append(lineEnd);
        return true;
    }

    const size_t existing = FindKey(lines, span, key);
    if (existing != span.End) {
        const TIniLine& line = lines[existing];
        text.replace(line.Start, line.End - line.Start, keyLine);
        return true;
    }

    size_t last = span.Header;
    for (size_t i = span.Header + 1; i < span.End; ++i) {
        if (lines[i].Kind == TLineKind::Key) {
            last = i;
        }
    }
    InsertAfter(text, lines[last], lineEnd, keyLine + lineEnd);
    return true;
}

bool IniEraseSection(std::string& text, std::string_view section) {
    const std::vector<TIniLine> lines = SplitLines(text);
    std::string kept;
    bool erased = false;
    size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].Kind == TLineKind::Section && SameName(lines[i].Name, section)) {
            i = SectionEnd(lines, i);
            erased = true;
            continue;
        }
        kept.append(text, lines[i].Start, lines[i].Next - lines[i].Start);
        ++i;
    }
    if (erased) {
        text = std::move(kept);
    }
    return erased;
}

}  // namespace tavrin
