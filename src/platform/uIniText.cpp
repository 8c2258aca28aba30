#include "uIniText.h"

namespace tavrin {

std::optional<std::string> IniReadValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    return TIniDocument(text).Read(section, key);
}

bool IniWriteValue(std::string& text, std::string_view section, std::string_view key,
                   std::string_view value) {
    TIniDocument document(text);
    if (!document.Write(section, key, value)) {
        return false;
    }
    text = document.Text();
    return true;
}

bool IniEraseSection(std::string& text, std::string_view section) {
    TIniDocument document(text);
    if (!document.EraseSection(section)) {
        return false;
    }
    text = document.Text();
    return true;
}

bool IsUtf16Text(std::string_view text) {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return true;
    }
    // Without a mark: characters of the first 256 of Unicode, each a byte and a NUL, all through.
    // The whole text must be so, or a line of ours written into it would make it so half-way.
    if (text.size() < 4 || text.size() % 2 != 0) {
        return false;
    }
    const size_t nul = text[0] == '\0' ? 0 : 1;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (text[i + nul] != '\0' || text[i + 1 - nul] == '\0') {
            return false;
        }
    }
    return true;
}

}  // namespace tavrin
