#include "uIniDocument.h"

#include <algorithm>

#include "uNumberText.h"

namespace tavrin {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
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

}  // namespace

bool IsValidIniSection(std::string_view name) {
    return !name.empty() && TrimBlanks(name) == name && name.find(']') == std::string_view::npos &&
           !HasLineBreak(name);
}

bool IsValidIniKey(std::string_view name) {
    return !name.empty() && TrimBlanks(name) == name && name.find('=') == std::string_view::npos &&
           name.front() != '[' && name.front() != ';' && name.front() != '#' && !HasLineBreak(name);
}

std::string_view TIniDocument::TLine::Name() const {
    return std::string_view(Content).substr(NameStart, NameLength);
}

std::string_view TIniDocument::TLine::Value() const {
    return std::string_view(Content).substr(ValueStart, ValueLength);
}

TIniDocument::TIniDocument(std::string_view text) {
    if (text.starts_with(kUtf8Mark)) {
        Prefix = kUtf8Mark;
        text.remove_prefix(kUtf8Mark.size());
    }
    size_t start = 0;
    while (start < text.size()) {
        const size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string_view::npos) {
            AddParsedLine(MakeLine(std::string(text.substr(start)), TLineEnd::None));
            break;
        }
        TLineEnd end = text[stop] == '\n' ? TLineEnd::Lf : TLineEnd::Cr;
        size_t next = stop + 1;
        if (end == TLineEnd::Cr && next < text.size() && text[next] == '\n') {
            end = TLineEnd::CrLf;
            ++next;
        }
        AddParsedLine(MakeLine(std::string(text.substr(start, stop - start)), end));
        start = next;
    }
}

TIniDocument::TLine TIniDocument::MakeLine(std::string content, TLineEnd end) {
    TLine line;
    line.Content = std::move(content);
    line.End = end;
    Classify(line);
    return line;
}

void TIniDocument::Classify(TLine& line) {
    const std::string_view content(line.Content);
    const std::string_view text = TrimBlanks(content);
    line.Kind = TLineKind::Other;
    if (text.empty()) {
        return;
    }
    const auto offset = [&](std::string_view part) {
        return static_cast<uint32_t>(part.data() - content.data());
    };
    const auto setName = [&](std::string_view name) {
        line.NameStart = offset(name);
        line.NameLength = static_cast<uint32_t>(name.size());
    };
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close != std::string_view::npos) {
            line.Kind = TLineKind::Section;
            setName(TrimBlanks(text.substr(1, close - 1)));
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
    setName(TrimBlanks(text.substr(0, equals)));
    const std::string_view value = TrimBlanks(text.substr(equals + 1));
    line.ValueStart = offset(value);
    line.ValueLength = static_cast<uint32_t>(value.size());
}

std::string_view TIniDocument::EndText(TLineEnd end) {
    switch (end) {
        case TLineEnd::Lf:
            return "\n";
        case TLineEnd::CrLf:
            return "\r\n";
        case TLineEnd::Cr:
            return "\r";
        case TLineEnd::None:
            break;
    }
    return {};
}

void TIniDocument::AddParsedLine(TLine line) {
    if (line.Kind == TLineKind::Section) {
        SectionsByName[LowerName(line.Name())].push_back(Sections.size());
        Sections.push_back(TSection{std::move(line), {}, {}, std::nullopt, false});
        return;
    }
    if (Sections.empty()) {
        Preamble.push_back(std::move(line));
        return;
    }
    TSection& section = Sections.back();
    section.Body.push_back(std::move(line));
    IndexKey(section, section.Body.size() - 1);
}

void TIniDocument::IndexKey(TSection& section, size_t index) {
    const TLine& line = section.Body[index];
    if (line.Kind != TLineKind::Key) {
        return;
    }
    section.Keys.try_emplace(LowerName(line.Name()), index);
    if (!section.LastKey || *section.LastKey < index) {
        section.LastKey = index;
    }
}

std::string TIniDocument::Text() const {
    size_t size = Prefix.size();
    const auto measure = [&](const TLine& line) { size += line.Content.size() + 2; };
    std::for_each(Preamble.begin(), Preamble.end(), measure);
    for (const TSection& section : Sections) {
        if (!section.Erased) {
            measure(section.Header);
            std::for_each(section.Body.begin(), section.Body.end(), measure);
        }
    }
    std::string text;
    text.reserve(size);
    text.append(Prefix);
    const auto append = [&](const TLine& line) {
        text.append(line.Content).append(EndText(line.End));
    };
    std::for_each(Preamble.begin(), Preamble.end(), append);
    for (const TSection& section : Sections) {
        if (!section.Erased) {
            append(section.Header);
            std::for_each(section.Body.begin(), section.Body.end(), append);
        }
    }
    return text;
}

std::optional<std::string> TIniDocument::Read(std::string_view section,
                                              std::string_view key) const {
    const auto sections = SectionsByName.find(LowerName(section));
    if (sections == SectionsByName.end()) {
        return std::nullopt;
    }
    const TSection& found = Sections[sections->second.front()];
    const auto line = found.Keys.find(LowerName(key));
    if (line == found.Keys.end()) {
        return std::nullopt;
    }
    return std::string(found.Body[line->second].Value().substr(0, kProfileValueLimit));
}

bool TIniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsValidIniSection(section) || !IsValidIniKey(key)) {
        return false;
    }
    const TLineEnd lineEnd = NewLineEnd();
    const std::string lowerSection = LowerName(section);
    const auto sections = SectionsByName.find(lowerSection);
    if (sections == SectionsByName.end()) {
        if (TLine* last = LastLine(); last != nullptr && last->End == TLineEnd::None) {
            last->End = lineEnd;
        }
        SectionsByName[lowerSection].push_back(Sections.size());
        Sections.push_back(TSection{
            MakeLine("[" + std::string(section) + "]", lineEnd), {}, {}, std::nullopt, false});
        TSection& added = Sections.back();
        added.Body.push_back(MakeLine(KeyLine(key, value), lineEnd));
        IndexKey(added, 0);
        return true;
    }

    TSection& found = Sections[sections->second.front()];
    if (const auto line = found.Keys.find(LowerName(key)); line != found.Keys.end()) {
        TLine& existing = found.Body[line->second];
        existing.Content = KeyLine(key, value);
        Classify(existing);
        return true;
    }
    // After the last key line; only non-key lines follow it, so no key index moves.
    const size_t at = found.LastKey ? *found.LastKey + 1 : 0;
    TLine& before = found.LastKey ? found.Body[*found.LastKey] : found.Header;
    if (before.End == TLineEnd::None) {
        before.End = lineEnd;  // it was the last line of the text
    }
    found.Body.insert(found.Body.begin() + static_cast<std::ptrdiff_t>(at),
                      MakeLine(KeyLine(key, value), lineEnd));
    // A new line ended by "\r" before a blank line ended by "\n" reads back as one line ended
    // by "\r\n": hold the lines as the text reads, or the next edit would place its line where
    // an edit on the written text would not.
    if (const size_t next = at + 1; lineEnd == TLineEnd::Cr && next < found.Body.size() &&
                                    found.Body[next].Content.empty() &&
                                    found.Body[next].End == TLineEnd::Lf) {
        found.Body[at].End = TLineEnd::CrLf;
        found.Body.erase(found.Body.begin() + static_cast<std::ptrdiff_t>(next));
    }
    IndexKey(found, at);
    return true;
}

bool TIniDocument::EraseSection(std::string_view section) {
    const auto sections = SectionsByName.find(LowerName(section));
    if (sections == SectionsByName.end()) {
        return false;
    }
    for (const size_t index : sections->second) {
        TSection& erased = Sections[index];
        erased.Erased = true;
        // Its lines are never seen again: give their memory back at once.
        erased.Body = {};
        erased.Keys = {};
    }
    SectionsByName.erase(sections);
    return true;
}

TIniDocument::TLineEnd TIniDocument::NewLineEnd() const {
    for (const TLine& line : Preamble) {
        if (line.End != TLineEnd::None) {
            return line.End;
        }
    }
    for (const TSection& section : Sections) {
        if (section.Erased) {
            continue;
        }
        if (section.Header.End != TLineEnd::None) {
            return section.Header.End;
        }
        for (const TLine& line : section.Body) {
            if (line.End != TLineEnd::None) {
                return line.End;
            }
        }
    }
    return TLineEnd::Lf;
}

TIniDocument::TLine* TIniDocument::LastLine() {
    for (auto section = Sections.rbegin(); section != Sections.rend(); ++section) {
        if (!section->Erased) {
            return section->Body.empty() ? &section->Header : &section->Body.back();
        }
    }
    return Preamble.empty() ? nullptr : &Preamble.back();
}

}  // namespace tavrin
