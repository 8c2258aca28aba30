#include "uIniProfile.h"

#include "uFileReplace.h"

namespace tavrin {

std::optional<std::string> ProfileRead(const std::string& path, std::string_view section,
                                       std::string_view key) {
    const std::optional<std::string> text = ReadFileIfAny(path);
    if (!text) {
        return std::nullopt;
    }
    return IniReadValue(*text, section, key);
}

bool ProfileWrite(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value) {
    // A file that exists but cannot be read must fail here: writing our one value into an
    // empty text would replace the user's settings with it.
    std::optional<std::string> text = ReadFileIfAny(path);
    if (!text || !IniWriteValue(*text, section, key, value)) {
        return false;
    }
    return ReplaceFileContents(path, *text);
}

bool ProfileEraseSection(const std::string& path, std::string_view section) {
    std::optional<std::string> text = ReadFileIfAny(path);
    if (!text) {
        return false;
    }
    if (!IniEraseSection(*text, section)) {
        return true;
    }
    return ReplaceFileContents(path, *text);
}

}  // namespace tavrin
